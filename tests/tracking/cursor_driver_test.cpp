#include <gtest/gtest.h>

#include <vector>

#include "fake_platform/fake_platform.h"
#include "state/tracker_state.h"
#include "tracking/cursor_driver.h"

namespace {

void Start(int32_t w, int32_t h, int32_t sx, int32_t sy) {
    ResetTrackerState();
    FakeReset();
    g_tracker.screenWidth.store(w);
    g_tracker.screenHeight.store(h);
    g_tracker.cursorX.store(sx);
    g_tracker.cursorY.store(sy);
}

TEST(CursorDriverTest, SmoothingTable) {
    struct Row {
        int32_t previous, in, sent;
    };
    const Row rows[] = {{960, 965, 961}, {960, 952, 958}, {960, 969, 969}, {960, 951, 951},
                        {100, 103, 100}, {100, 97, 99},   {960, 968, 962}, {960, 1500, 1500}};
    for (const Row& r : rows) {
        Start(1920, 1080, r.previous, r.previous);
        DriveCursor(r.in, r.in);
        EXPECT_EQ(g_tracker.cursorX.load(), r.sent) << r.previous << " -> " << r.in;
        EXPECT_EQ(g_tracker.cursorY.load(), r.sent);
        ASSERT_EQ(FakeMoves().size(), 1u) << "one event per call, moved or not";
    }
}

TEST(CursorDriverTest, AxesAreIndependentAndEveryCallInjectsOnce) {
    Start(1920, 1080, 960, 540);
    DriveCursor(964, 600);
    EXPECT_EQ(g_tracker.cursorX.load(), 961);
    EXPECT_EQ(g_tracker.cursorY.load(), 600);
    const auto moves = FakeMoves();
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].x, 961 * 65535 / 1920);
    EXPECT_EQ(moves[0].y, 600 * 65535 / 1080);
}

TEST(CursorDriverTest, StillSpotConvergence) {
    Start(1920, 1080, 100, 100);
    std::vector<int32_t> up;
    for (int i = 0; i < 6; ++i) {
        DriveCursor(108, 108);
        up.push_back(g_tracker.cursorX.load());
    }
    EXPECT_EQ(up, (std::vector<int32_t>{102, 103, 104, 105, 105, 105}));

    Start(1920, 1080, 108, 108);
    std::vector<int32_t> down;
    for (int i = 0; i < 7; ++i) {
        DriveCursor(100, 100);
        down.push_back(g_tracker.cursorX.load());
    }
    EXPECT_EQ(down, (std::vector<int32_t>{106, 104, 103, 102, 101, 100, 100}));
}

TEST(CursorDriverTest, ScalingToAbsoluteRange) {
    EXPECT_EQ(ScaleToAbsolute(0, 1920), 0);
    EXPECT_EQ(ScaleToAbsolute(960, 1920), 32767);
    EXPECT_EQ(ScaleToAbsolute(1919, 1920), 65500);
    EXPECT_EQ(ScaleToAbsolute(1920, 1920), 65535);
    EXPECT_EQ(ScaleToAbsolute(683, 1366), 32767);
    // Where the 32-bit product would overflow, the result is still exact.
    EXPECT_EQ(ScaleToAbsolute(40000, 40000), 65535);
    EXPECT_EQ(ScaleToAbsolute(20000, 40000), 32767);
    for (int32_t w = 1; w <= 32768; w = w * 3 + 1) {
        for (int32_t x = 0; x <= w; x += (w / 7) + 1) {
            ASSERT_EQ(ScaleToAbsolute(x, w), (x * 65535) / w);
        }
    }
}

TEST(CursorDriverTest, ScreenWithoutSizeInjectsNothing) {
    Start(0, 768, 0, 0);
    DriveCursor(10, 10);
    Start(1024, 0, 0, 0);
    DriveCursor(10, 10);
    EXPECT_TRUE(FakeMoves().empty());
}

TEST(CursorDriverTest, CentreAnchorTruncates) {
    Start(1366, 768, 0, 0);
    CentreSmoothedCursor();
    EXPECT_EQ(g_tracker.cursorX.load(), 683);
    EXPECT_EQ(g_tracker.cursorY.load(), 384);
    Start(1921, 1081, 0, 0);
    CentreSmoothedCursor();
    EXPECT_EQ(g_tracker.cursorX.load(), 960);
    EXPECT_EQ(g_tracker.cursorY.load(), 540);
}

}  // namespace
