#include "analysis/auto_calibration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <vector>

#include "analysis/analysis_worker.h"
#include "app/main_window.h"
#include "fake_platform/fake_platform.h"
#include "preview/soft_picture.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"

namespace {

constexpr int32_t kOperatorQuad[kCornerValues] = {60, 50, 590, 30, 30, 430, 620, 460};

// A camera over the real analysis passes that sees the screen's rectangle
// (columns 100..539, rows 80..399) lit by the pattern shown two frames
// before, and the timer fired after each frame while it is armed.
class AutoCalibrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetTrackerState();
        FakeReset();
        g_tracker.mainWindow.store(FakeWindow());
        g_tracker.frame.store(SoftCreatePicture());
        SetQuad(kOperatorQuad);
        ClearStatus(kCornersDirty);
        SetStatus(kGraphReady);
        StoreMode(kModePreview);
    }
    void TearDown() override {
        StopAutoCalibration();
        g_tracker.frame.store(nullptr);
        SoftReleasePicture();
    }

    void Frame() {
        shown_.push_back(g_fake.patternGrey);
        if (shown_.size() > 3) shown_.pop_front();
        const int32_t grey = seesScreen_ ? std::max(0, shown_.front()) : 0;
        uint32_t* const frame = g_tracker.frame.load();
        for (int32_t row = 0; row < kFrameHeight; ++row) {
            for (int32_t x = 0; x < kFrameWidth; ++x) {
                const bool screen = x >= 100 && x < 540 && row >= 80 && row < 400;
                const uint32_t level = screen ? 30 + grey * 3 / 4 : 25;
                frame[row * kFrameWidth + x] = level * 0x010101u;
            }
        }
        RunAnalysisPass();
        if (g_fake.calibrationTimerMs != 0) {
            g_fake.calibrationTimerMs = 0;
            OnCalibrationTimer();
        }
    }
    // Frames until the calibration ends; the count is kept.
    int RunToEnd() {
        int n = 0;
        while (AutoCalibrationRunning() && n < 200) {
            Frame();
            ++n;
        }
        return n;
    }
    std::vector<int32_t> Quad() {
        std::vector<int32_t> quad;
        for (int i = 0; i < kCornerValues; ++i) quad.push_back(Corner(i));
        return quad;
    }

    std::deque<int32_t> shown_;
    bool seesScreen_ = true;
};

TEST_F(AutoCalibrationTest, SetsTheScreensCornersAsClicksWould) {
    OnKeyA();
    EXPECT_EQ(g_fake.patternGrey, 0);
    const int frames = RunToEnd();
    // Each pattern costs its settling and its summed frames, nothing more.
    EXPECT_EQ(frames, 2 * static_cast<int>(kCalibrationSettleFrames + kCalibrationSumFrames));
    EXPECT_EQ(g_fake.patternGrey, -1);
    // The lit block's edges lie half a pixel outside its outer pixels.
    const std::vector<int32_t> expected = {100, 80, 540, 80, 100, 399, 539, 399};
    for (int i = 0; i < kCornerValues; ++i) EXPECT_NEAR(Quad()[i], expected[i], 1) << i;
    EXPECT_TRUE(TestStatus(kCornersDirty));
    EXPECT_EQ(g_tracker.xMin.load(), Corner(kLowerLeftX));
    EXPECT_EQ(g_tracker.calibrationFailed.load(), 0);
}

TEST_F(AutoCalibrationTest, NoScreenLeavesTheCornersAndShowsTheFailure) {
    seesScreen_ = false;
    OnKeyA();
    RunToEnd();
    EXPECT_EQ(Quad(), std::vector<int32_t>(kOperatorQuad, kOperatorQuad + kCornerValues));
    EXPECT_FALSE(TestStatus(kCornersDirty));
    EXPECT_EQ(g_fake.patternGrey, -1);
    EXPECT_EQ(g_fake.calibrationTimerMs, kCalibrationNoticeMs);
    Frame();
    EXPECT_EQ(g_tracker.frame.load()[240 * kFrameWidth + 2], 0x00FF0000u);
    // The notice's timer ends it.
    OnCalibrationTimer();
    EXPECT_EQ(g_tracker.calibrationFailed.load(), 0);
}

TEST_F(AutoCalibrationTest, KeysEndACalibrationUnderWay) {
    const struct {
        const char* name;
        void (*press)();
    } kKeys[] = {{"A", OnKeyA}, {"Esc", OnKeyEscape}, {"F12", OnKeyF12}, {"Tab", OnKeyTab}};
    for (const auto& key : kKeys) {
        OnKeyA();
        for (uint32_t i = 0; i < kCalibrationSettleFrames + 2; ++i) Frame();
        ASSERT_TRUE(AutoCalibrationRunning()) << key.name;
        key.press();
        EXPECT_FALSE(AutoCalibrationRunning()) << key.name;
        EXPECT_EQ(g_fake.patternGrey, -1) << key.name;
        EXPECT_EQ(g_fake.calibrationTimerMs, 0) << key.name;
        // Esc ends the calibration, not the console.
        EXPECT_NE(LoadMode(), kModeTracking) << key.name;
        for (int i = 0; i < 30; ++i) Frame();
        EXPECT_EQ(Quad(), std::vector<int32_t>(kOperatorQuad, kOperatorQuad + kCornerValues)) << key.name;
    }
}

TEST_F(AutoCalibrationTest, ACameraThatStopsEndsIt) {
    OnKeyA();
    Frame();
    for (int ms = 0; ms < kCalibrationStallMs && AutoCalibrationRunning(); ms += kCalibrationTickMs) {
        OnCalibrationTimer();
    }
    EXPECT_FALSE(AutoCalibrationRunning());
    EXPECT_EQ(Quad(), std::vector<int32_t>(kOperatorQuad, kOperatorQuad + kCornerValues));
}

}  // namespace
