#include "analysis/auto_calibration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "analysis/analysis_worker.h"
#include "analysis/exposure_search.h"
#include "app/main_window.h"
#include "fake_platform/fake_platform.h"
#include "preview/soft_picture.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"

namespace {

constexpr int32_t kOperatorQuad[kCornerValues] = {60, 50, 590, 30, 30, 430, 620, 460};

// Frames through the real analysis passes, the calibration's timer fired
// after each while it is armed. What ends a calibration leaves the
// operator's corners as they were. (The end-to-end tests show a complete
// one against the real screen.)
class AutoCalibrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetTrackerState();
        FakeReset();
        g_tracker.mainWindow.store(FakeWindow());
        g_tracker.frame.store(SoftCreatePicture());
        SetQuad(kOperatorQuad);
        SetStatus(kGraphReady);
        StoreMode(kModePreview);
    }
    void TearDown() override {
        StopAutoCalibration();
        g_tracker.frame.store(nullptr);
        SoftReleasePicture();
    }
    void Frame() {
        std::fill(g_tracker.frame.load(), g_tracker.frame.load() + kFramePixels, 0x00202020u);
        RunAnalysisPass();
        if (g_fake.calibrationTimerMs == 0) return;
        g_fake.calibrationTimerMs = 0;
        OnCalibrationTimer();
    }
    bool CornersKept() { return std::equal(kOperatorQuad, kOperatorQuad + kCornerValues, g_tracker.corners); }
};

TEST_F(AutoCalibrationTest, KeysEndACalibrationUnderWay) {
    const struct {
        const char* name;
        void (*press)();
    } kKeys[] = {{"A", OnKeyA}, {"Esc", OnKeyEscape}, {"F12", OnKeyF12}, {"Tab", OnKeyTab}, {"E", OnKeyE}};
    for (const auto& key : kKeys) {
        OnKeyA();
        for (uint32_t i = 0; i < kCalibrationSettleFrames + 2; ++i) Frame();
        ASSERT_TRUE(AutoCalibrationRunning()) << key.name;
        key.press();
        EXPECT_FALSE(AutoCalibrationRunning()) << key.name;
        EXPECT_EQ(g_fake.patternGrey, -1) << key.name;
        // Esc ends the calibration, not the console.
        EXPECT_NE(LoadMode(), kModeTracking) << key.name;
        for (int i = 0; i < 30; ++i) Frame();
        EXPECT_TRUE(CornersKept()) << key.name;
        // E went on to start the exposure assistant.
        StopExposureSearch();
        StoreMode(kModePreview);
    }
}

TEST_F(AutoCalibrationTest, ACameraThatStopsFailsIt) {
    OnKeyA();
    Frame();
    for (int ms = 0; ms < kCalibrationStallMs && AutoCalibrationRunning(); ms += kCalibrationTickMs) {
        OnCalibrationTimer();
    }
    EXPECT_FALSE(AutoCalibrationRunning());
    EXPECT_EQ(g_fake.patternGrey, -1);
    EXPECT_TRUE(CornersKept());
    // The failure is drawn into the picture until the notice's timer.
    Frame();
    EXPECT_EQ(g_tracker.frame.load()[240 * kFrameWidth + 2], 0x00FF0000u);
    OnCalibrationTimer();
    Frame();
    EXPECT_NE(g_tracker.frame.load()[240 * kFrameWidth + 2], 0x00FF0000u);
}

}  // namespace
