#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "fake_platform/fake_platform.h"
#include "preview/preview_passes.h"
#include "preview/preview_resources.h"
#include "preview/soft_picture.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"

namespace {

class PreviewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetTrackerState();
        FakeReset();
        g_tracker.mainWindow.store(FakeWindow());
        FakeSetWindowRect(189, 131, 189 + 646, 131 + 505);
        frame_ = SoftCreatePicture();
        g_tracker.frame.store(frame_);
        SetDefaultCalibration();
        UpdateSearchBox();
    }
    void TearDown() override {
        g_tracker.frame.store(nullptr);
        SoftReleasePicture();
    }
    // Picture coordinates: line 0 is the top.
    uint32_t& At(int x, int line) { return frame_[(479 - line) * 640 + x]; }
    void Fill(uint32_t value) {
        for (int i = 0; i < kFramePixels; ++i) frame_[i] = value;
    }
    std::vector<uint32_t> Snapshot() const { return std::vector<uint32_t>(frame_, frame_ + kFramePixels); }

    uint32_t* frame_ = nullptr;
};

TEST(ThresholdLevelTest, DefaultBoxRows) {
    struct Row {
        int32_t y, level;
    };
    const Row rows[] = {{40, 224},  {41, 224},  {42, 224},  {43, 224},  {44, 223},  {47, 223},
                        {48, 222},  {100, 208}, {240, 168}, {243, 168}, {437, 113}, {439, 113},
                        {440, 112}};
    for (const Row& r : rows) EXPECT_EQ(ThresholdRowLevel(r.y, 40, 440), r.level) << "row " << r.y;
}

TEST(ThresholdLevelTest, SmallBoxAndFlatBox) {
    const int32_t expected[] = {224, 208, 192, 192, 192, 144, 128, 128};
    for (int32_t y = 3; y <= 10; ++y) EXPECT_EQ(ThresholdRowLevel(y, 3, 10), expected[y - 3]) << "row " << y;
    // A box one row high has no slope: its row keeps the top level.
    EXPECT_EQ(ThresholdRowLevel(100, 100, 100), 224);
    EXPECT_EQ(ThresholdRowLevel(102, 102, 102), 224);
}

TEST_F(PreviewTest, ThresholdMapColoursByRowLevelInsideTheBoxOnly) {
    Fill(0x00FF00FF);  // red 255 everywhere: lit on every row of the box
    At(100, 479 - 100) = 0x00D00000;  // row 100 uses level 208: equal is dark
    At(101, 479 - 100) = 0x00D1FFFF;  // one above is lit; green and blue do not matter
    DrawThresholdMap();
    EXPECT_EQ(At(100, 379), 0x00000000u);
    EXPECT_EQ(At(101, 379), 0x0000FF00u);
    EXPECT_EQ(At(40, 439), 0x0000FF00u);   // corner of the box
    EXPECT_EQ(At(600, 39), 0x0000FF00u);   // opposite corner
    EXPECT_EQ(At(39, 300), 0x00FF00FFu);   // outside keeps the picture
    EXPECT_EQ(At(601, 300), 0x00FF00FFu);
    EXPECT_EQ(At(300, 440), 0x00FF00FFu);  // row 39
    EXPECT_EQ(At(300, 38), 0x00FF00FFu);   // row 441
}

TEST_F(PreviewTest, ThresholdMapStaysInsideTheFrame) {
    Fill(0x00FF0000);
    g_tracker.xMin.store(-1000);
    g_tracker.xMax.store(65535);
    g_tracker.yMin.store(-7);
    g_tracker.yMax.store(65535);
    DrawThresholdMap();  // ASan catches any write outside the buffer
    EXPECT_EQ(At(0, 479), 0x0000FF00u);
    EXPECT_EQ(At(639, 0), 0x0000FF00u);

    Fill(0x00FF0000);
    g_tracker.yMin.store(200);
    g_tracker.yMax.store(200);  // a flat box: no division by zero
    DrawThresholdMap();
    EXPECT_EQ(At(300, 279), 0x0000FF00u);
    EXPECT_EQ(At(300, 278), 0x00FF0000u);

    g_tracker.yMin.store(201);  // empty: nothing changes
    const auto before = Snapshot();
    DrawThresholdMap();
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(PreviewTest, PreviewChangesOnlyCrosshairOutlineAndMagnifier) {
    Fill(0x00204060);
    // Cursor 103 right of and 72 below the window's corner: picture (100, 50).
    g_fake.cursorX = 189 + 103;
    g_fake.cursorY = 131 + 72;
    DrawPreviewPass();
    EXPECT_EQ(g_fake.presents.load(), 1);
    for (int line = 0; line < 480; ++line) {
        for (int x = 0; x < 640; ++x) {
            const uint32_t p = At(x, line);
            const bool crosshair = x == 320 || line == 240;
            const bool outline = ((line == 439 || line == 39) && x >= 40 && x <= 600) ||
                                 ((x == 40 || x == 600) && line >= 39 && line <= 439);
            const bool magnifier = x >= 84 && x < 116 && line >= 34 && line < 66;
            if (magnifier) continue;
            if (outline) {
                ASSERT_EQ(p, kQuadPenPixel) << x << "," << line;
            } else if (crosshair) {
                ASSERT_EQ(p, kCrosshairPenPixel) << x << "," << line;
            } else {
                ASSERT_EQ(p, 0x00204060u) << x << "," << line;
            }
        }
    }
    // The magnifier doubles the 16 x 16 block at (92, 42), outline included:
    // the outline's line 39 is not in it, column 100's pixels are.
    EXPECT_EQ(At(84, 34), 0x00204060u);
}

TEST_F(PreviewTest, MagnifierEnlargesAndClipsAtTheEdges) {
    for (int line = 0; line < 480; ++line) {
        for (int x = 0; x < 640; ++x) At(x, line) = static_cast<uint32_t>(line << 10 | x);
    }
    g_fake.cursorX = 189 + 3 + 100;  // client (100, 50)
    g_fake.cursorY = 131 + 22 + 50;
    DrawMagnifier();
    for (int j = 0; j < 32; ++j) {
        for (int i = 0; i < 32; ++i) {
            ASSERT_EQ(At(84 + i, 34 + j), static_cast<uint32_t>((42 + j / 2) << 10 | (92 + i / 2)));
        }
    }

    // Exactly on the top-left edge of the estimate: inside, drawn partly off.
    g_fake.cursorX = 189 + 3;
    g_fake.cursorY = 131 + 22;
    for (int line = 0; line < 480; ++line) {
        for (int x = 0; x < 640; ++x) At(x, line) = static_cast<uint32_t>(line << 10 | x);
    }
    DrawMagnifier();
    EXPECT_EQ(At(0, 0), 0u);  // from source (0, 0)
    EXPECT_EQ(At(15, 15), static_cast<uint32_t>(7 << 10 | 7));
    EXPECT_EQ(At(16, 16), static_cast<uint32_t>(16 << 10 | 16));  // outside the block

    // One pixel outside the estimate: nothing.
    g_fake.cursorX = 189 + 2;
    const auto before = Snapshot();
    DrawMagnifier();
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(PreviewTest, ButtonSquaresUseTheCurrentPen) {
    Fill(0x00123456);
    g_fake.keyDown[kKeyLeftButton] = true;
    g_fake.keyDown[kKeyRightButton] = true;
    DrawButtonIndicators();  // no outline drawn yet: the default black pen
    EXPECT_EQ(At(150, 250), kDefaultPenPixel);
    EXPECT_EQ(At(181, 281), kDefaultPenPixel);
    EXPECT_EQ(At(160, 260), kFillPixel);
    EXPECT_EQ(At(182, 260), 0x00123456u);  // right bound exclusive
    EXPECT_EQ(At(310, 260), 0x00123456u);  // middle button up
    EXPECT_EQ(At(450, 250), kDefaultPenPixel);

    DrawThresholdPass();  // map, squares, outline: the pen is now the quad pen
    DrawThresholdPass();
    EXPECT_EQ(At(150, 250), kQuadPenPixel);
    EXPECT_EQ(At(165, 265), kFillPixel);
    EXPECT_EQ(At(320, 265), 0x00000000u) << "the map shows where no button is held";
}

TEST_F(PreviewTest, OutlineFollowsCornersAndClipsFarCorners) {
    Fill(0);
    g_tracker.corners[kUpperRightX].store(65535);
    g_tracker.corners[kUpperRightY].store(65535);
    g_tracker.corners[kUpperLeftY].store(480);
    DrawQuadOutline();  // ASan catches any write outside the buffer
    EXPECT_EQ(At(40, 439), kQuadPenPixel);  // P0
    EXPECT_EQ(At(45, 439), kQuadPenPixel);  // along P0 -> P1
    EXPECT_EQ(At(40, 0), kQuadPenPixel);    // P2 -> P0 enters at the top
}

// Every step of the line, without any shortcut, plotting what falls inside.
std::vector<uint32_t> FullWalk(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    std::vector<uint32_t> picture(kFramePixels, 0);
    const int64_t dx = std::llabs(x1 - x0), dy = -std::llabs(y1 - y0);
    const int64_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int64_t error = dx + dy;
    while (x0 != x1 || y0 != y1) {
        if (x0 >= 0 && x0 < 640 && y0 >= 0 && y0 < 480) picture[(479 - y0) * 640 + x0] = kQuadPenPixel;
        const int64_t e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            error += dx;
            y0 += sy;
        }
    }
    return picture;
}

TEST_F(PreviewTest, LinesFromFarOutsideDrawExactlyTheirStepsInside) {
    struct Line {
        int32_t x0, y0, x1, y1;
    };
    const Line lines[] = {
        {65535, -65056, 40, 439},  {40, 439, 65535, -65056}, {-70000, 240, 70000, 241}, {320, -5000, 321, 9000},
        {-3000, -2000, 3000, 2500}, {700, 100, 900, 200},     {-1, -1, 640, 480},        {639, 479, -65535, 65535},
        {100, 480, 100, 480},      {5, 700, 600, -300},       {0, 0, 0, 0},              {640, 0, 640, 479},
    };
    SoftSelectPen(kPenQuad);
    for (const Line& l : lines) {
        Fill(0);
        SoftDrawLine(l.x0, l.y0, l.x1, l.y1);
        EXPECT_EQ(Snapshot(), FullWalk(l.x0, l.y0, l.x1, l.y1)) << l.x0 << "," << l.y0 << " -> " << l.x1 << "," << l.y1;
    }
}

TEST_F(PreviewTest, MissingFrameBufferDrawsNothing) {
    g_tracker.frame.store(nullptr);
    SoftReleasePicture();
    DrawPreviewPass();
    DrawThresholdPass();
    DrawThresholdMap();
    EXPECT_EQ(g_fake.presents.load(), 0);
    frame_ = SoftCreatePicture();
}

TEST(PreviewResourcesTest, CreateMakesThePictureAndReleaseIsOnce) {
    ResetTrackerState();
    FakeReset();
    g_fake.pictureAvailable = false;
    CreatePreviewResources();
    EXPECT_EQ(g_tracker.frame.load(), nullptr);
    ReleasePreviewResources();
    EXPECT_EQ(FakeCalls(), (std::vector<std::string>{"CreatePicture"}));

    FakeReset();
    CreatePreviewResources();
    EXPECT_NE(g_tracker.frame.load(), nullptr);
    ReleasePreviewResources();
    ReleasePreviewResources();
    EXPECT_EQ(FakeCalls(), (std::vector<std::string>{"CreatePicture", "ReleasePicture"}));
}

}  // namespace
