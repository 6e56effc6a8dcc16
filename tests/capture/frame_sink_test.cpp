#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "capture/frame_sink.h"
#include "fake_platform/fake_platform.h"
#include "state/platform.h"
#include "state/tracker_state.h"
#include "tracking/spot_detector.h"

namespace {

TEST(PictureRuleTest, The640x480FrameInALayoutTheSinkReadsEitherWayUp) {
    for (const PictureFormat layout :
         {PictureFormat::kRgb32, PictureFormat::kRgb24, PictureFormat::kYuy2, PictureFormat::kUyvy}) {
        for (const bool topDown : {false, true}) {
            EXPECT_TRUE(AcceptsFrameShape({640, 480, layout, topDown})) << static_cast<int>(layout) << topDown;
        }
    }
    EXPECT_FALSE(AcceptsFrameShape({640, 480, PictureFormat::kOther, false}));
    EXPECT_FALSE(AcceptsFrameShape({640, 480, PictureFormat::kOther, true}));
}

TEST(PictureRuleTest, OnlyTheFrameSizeIsTaken) {
    EXPECT_TRUE(IsFrameSize(640, 480));
    for (const auto& size : {std::pair<int32_t, int32_t>{-640, 480}, {640, -480}, {480, 640}, {1280, 720},
                             {640, 481}, {639, 480}, {0, 0}}) {
        EXPECT_FALSE(IsFrameSize(size.first, size.second)) << size.first << "x" << size.second;
        EXPECT_FALSE(AcceptsFrameShape({size.first, size.second, PictureFormat::kRgb32, false}))
            << size.first << "x" << size.second;
    }
}

class FrameSinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetTrackerState();
        FakeReset();
        buffer_.assign(kFramePixels, 0xDEADBEEF);
        g_tracker.frame.store(buffer_.data());
        event_ = PlatformCreateEvent();
        g_tracker.frameReady.store(event_);
    }
    void TearDown() override { PlatformCloseEvent(event_); }
    static std::vector<uint32_t> Frame(uint32_t value) { return std::vector<uint32_t>(kFramePixels, value); }

    std::vector<uint32_t> buffer_;
    PlatformEvent* event_ = nullptr;
};

TEST_F(FrameSinkTest, CopiesWholeFrameThenHandsItOver) {
    const auto first = Frame(0x00112233);
    EXPECT_TRUE(DeliverFrame(first.data(), first.size() * 4));
    EXPECT_EQ(buffer_, first);
    EXPECT_TRUE(TestStatus(kFramePending));
    PlatformWaitEvent(event_);  // signalled once: would block otherwise

    // While the worker owns the buffer, frames are dropped and not signalled.
    const auto second = Frame(0x00445566);
    EXPECT_FALSE(DeliverFrame(second.data(), second.size() * 4));
    EXPECT_EQ(buffer_, first);

    ClearStatus(kFramePending);
    DeliverFrame(second.data(), second.size() * 4);
    EXPECT_EQ(buffer_, second);
}

TEST_F(FrameSinkTest, ShortMissingOrUnownedSamplesAreSkipped) {
    // One byte short: a real copy would read past the sample's end (ASan).
    std::vector<uint8_t> shortSample(kFrameBytes - 1, 0x7F);
    DeliverFrame(shortSample.data(), shortSample.size());
    DeliverFrame(nullptr, kFrameBytes);
    EXPECT_FALSE(TestStatus(kFramePending));
    EXPECT_EQ(buffer_[0], 0xDEADBEEFu);

    g_tracker.frame.store(nullptr);
    const auto frame = Frame(1);
    DeliverFrame(frame.data(), frame.size() * 4);
    EXPECT_FALSE(TestStatus(kFramePending));
}

TEST_F(FrameSinkTest, OtherStatusBitsSurviveTheHandOff) {
    SetStatus(kGraphReady | kCornersDirty);
    const auto frame = Frame(5);
    DeliverFrame(frame.data(), frame.size() * 4);
    EXPECT_EQ(g_tracker.status.load(), kGraphReady | kCornersDirty | kFramePending);
}

TEST_F(FrameSinkTest, TopDownFramesAreFlippedAndUnpadded) {
    const size_t stride = 640 * 4 + 64;
    std::vector<uint8_t> sample(stride * 480, 0);
    for (int line = 0; line < 480; ++line) {
        auto* row = reinterpret_cast<uint32_t*>(sample.data() + line * stride);
        for (int x = 0; x < 640; ++x) row[x] = 0xFF000000u | static_cast<uint32_t>(line << 8 | (x & 0xFF));
    }
    // The last row needs no padding after it.
    DeliverTopDownFrame(sample.data(), stride * 479 + 640 * 4, stride);
    ASSERT_TRUE(TestStatus(kFramePending));
    EXPECT_EQ(buffer_[0], static_cast<uint32_t>(479 << 8));           // row 0 is the bottom line
    EXPECT_EQ(buffer_[479 * 640 + 5], 5u);                            // row 479 is the top line
    EXPECT_EQ(buffer_[100 * 640 + 7], static_cast<uint32_t>(379 << 8 | 7));

    ClearStatus(kFramePending);
    DeliverTopDownFrame(sample.data(), stride * 479 + 640 * 4 - 1, stride);
    DeliverTopDownFrame(sample.data(), sample.size(), 640 * 4 - 4);
    EXPECT_FALSE(TestStatus(kFramePending));
}

// Three bytes a pixel, a bitmap's rows either way up, padded to words.
TEST_F(FrameSinkTest, Rgb24FramesAreWidenedEitherWayUp) {
    const size_t stride = 640 * 3;
    std::vector<uint8_t> sample(stride * 480, 0);
    for (int line = 0; line < 480; ++line) {
        for (int x = 0; x < 640; ++x) {
            uint8_t* const pixel = sample.data() + line * stride + 3 * x;
            pixel[0] = static_cast<uint8_t>(x);
            pixel[1] = static_cast<uint8_t>(line);
            pixel[2] = static_cast<uint8_t>(line >> 8 | 0x80);
        }
    }
    for (const bool topDown : {false, true}) {
        ClearStatus(kFramePending);
        ASSERT_TRUE(DeliverRgb24Frame(sample.data(), sample.size(), stride, topDown));
        const int line = topDown ? 479 - 100 : 100;
        EXPECT_EQ(buffer_[100 * 640 + 7], static_cast<uint32_t>((line >> 8 | 0x80) << 16 | (line & 0xFF) << 8 | 7))
            << topDown;
    }
    ClearStatus(kFramePending);
    EXPECT_FALSE(DeliverRgb24Frame(sample.data(), sample.size() - 1, stride, false));
}

// Packed YUV rows land bottom-up, converted, whatever the stride; a sample
// a byte short of its last row, or with rows narrower than 640 pixels, is
// skipped.
TEST_F(FrameSinkTest, PackedYuvFramesAreFlippedAndConverted) {
    StoreMode(kModePreview);
    const size_t stride = 640 * 2 + 32;
    std::vector<uint8_t> sample(stride * 480, 0);
    for (int line = 0; line < 480; ++line) {
        uint8_t* const row = sample.data() + line * stride;
        // Grey rows: luma 16 on the top line, 235 on the bottom one, mid
        // grey between; chroma neutral.
        const uint8_t luma = line == 0 ? 16 : (line == 479 ? 235 : 128);
        for (int pair = 0; pair < 320; ++pair) {
            row[4 * pair] = row[4 * pair + 2] = luma;
            row[4 * pair + 1] = row[4 * pair + 3] = 128;
        }
    }
    const YuvMatrix bt601 = MakeYuvMatrix(0.299, 0.114, false);
    EXPECT_TRUE(DeliverPackedYuvFrame(sample.data(), stride * 479 + 640 * 2, stride, PackedYuvLayout::kYuy2, bt601));
    EXPECT_EQ(buffer_[0], 0x00FDFDFDu);                // row 0 is the bottom line
    EXPECT_EQ(buffer_[479 * 640 + 639], 0x00000000u);  // row 479 is the top line
    EXPECT_EQ(buffer_[240 * 640 + 320], 0x00808080u);

    ClearStatus(kFramePending);
    EXPECT_FALSE(DeliverPackedYuvFrame(sample.data(), stride * 479 + 640 * 2 - 1, stride, PackedYuvLayout::kYuy2,
                                       bt601));
    EXPECT_FALSE(DeliverPackedYuvFrame(sample.data(), sample.size(), 640 * 2 - 2, PackedYuvLayout::kYuy2, bt601));
    EXPECT_FALSE(TestStatus(kFramePending));
}

// While tracking, a packed YUV frame gives the red of the Search box only,
// marked as such: the spot detector finds there what it finds in the whole
// conversion, and a frame delivered after tracking ends is whole again.
TEST_F(FrameSinkTest, TrackingConvertsOnlyTheRedOfTheSearchBox) {
    const size_t stride = 640 * 2;
    std::vector<uint8_t> sample(stride * 480);
    // Noise whose red stays far below the floor: dim luma, any U, mild V.
    uint32_t noise = 7;
    for (size_t i = 0; i < sample.size(); ++i) {
        const uint32_t r = (noise = noise * 1664525u + 1013904223u) >> 24;
        const size_t at = i % 4;
        sample[i] = static_cast<uint8_t>(at == 0 || at == 2 ? 16 + r % 84 : (at == 1 ? r : 96 + r % 64));
    }
    // A bright, saturated spot on picture lines 100-103 (frame rows 376-379), columns 201-206.
    for (int line = 100; line < 104; ++line) {
        for (int pair = 100; pair < 104; ++pair) {
            uint8_t* const p = sample.data() + line * stride + 4 * pair;
            p[0] = p[2] = 200;
            p[1] = 90;
            p[3] = 250;
        }
    }
    const YuvMatrix bt601 = MakeYuvMatrix(0.299, 0.114, false);
    StoreMode(kModePreview);
    ASSERT_TRUE(DeliverPackedYuvFrame(sample.data(), sample.size(), stride, PackedYuvLayout::kYuy2, bt601));
    EXPECT_FALSE(TestStatus(kFrameRedOnly));
    const std::vector<uint32_t> whole = buffer_;

    const SearchBox box{150, 400, 300, 420};
    g_tracker.xMin.store(box.xMin);
    g_tracker.xMax.store(box.xMax);
    g_tracker.yMin.store(box.yMin);
    g_tracker.yMax.store(box.yMax);
    StoreMode(kModeTracking);
    buffer_.assign(kFramePixels, 0xDEADBEEF);
    ClearStatus(kFramePending);
    ASSERT_TRUE(DeliverPackedYuvFrame(sample.data(), sample.size(), stride, PackedYuvLayout::kYuy2, bt601));
    EXPECT_TRUE(TestStatus(kFrameRedOnly | kFramePending));
    for (int y = box.yMin; y <= box.yMax; ++y) {
        for (int x = box.xMin; x <= box.xMax; ++x) {
            ASSERT_EQ(buffer_[y * 640 + x], whole[y * 640 + x] & kRedMask) << x << "," << y;
        }
    }
    EXPECT_EQ(buffer_[(box.yMin - 1) * 640 + 300], 0xDEADBEEFu);  // rows outside the box are left alone
    EXPECT_EQ(buffer_[(box.yMax + 1) * 640 + 300], 0xDEADBEEFu);
    const SpotResult spot = DetectSpot(buffer_.data(), box);
    const SpotResult reference = DetectSpot(whole.data(), box);
    ASSERT_TRUE(reference.found);
    EXPECT_EQ(reference.sumX, 200 + 207);
    EXPECT_EQ(reference.sumY, 376 + 379);
    EXPECT_TRUE(spot.found);
    EXPECT_EQ(spot.sumX, reference.sumX);
    EXPECT_EQ(spot.sumY, reference.sumY);

    StoreMode(kModePreview);
    ClearStatus(kFramePending);
    ASSERT_TRUE(DeliverPackedYuvFrame(sample.data(), sample.size(), stride, PackedYuvLayout::kYuy2, bt601));
    EXPECT_FALSE(TestStatus(kFrameRedOnly));
    EXPECT_EQ(buffer_, whole);
}

TEST_F(FrameSinkTest, HugeStrideIsNotWrappedIntoAShortLength) {
    // 479 rows of this stride come to 2^64 + 76 bytes: a check that
    // multiplies would ask for 2,636 bytes and then read far past them.
    const size_t stride = 38510947961815348u;
    std::vector<uint8_t> sample(640 * 4 + 128, 0);
    EXPECT_FALSE(DeliverTopDownFrame(sample.data(), sample.size(), stride));
    EXPECT_FALSE(TestStatus(kFramePending));
}

}  // namespace
