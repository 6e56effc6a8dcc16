#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture_graph.h"
#include "capture/capture_recovery.h"
#include "fake_platform/fake_platform.h"
#include "state/tracker_state.h"

namespace {

using Calls = std::vector<std::string>;

class CaptureGraphTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetTrackerState();
        FakeReset();
    }
};

TEST_F(CaptureGraphTest, MissingSourceLeavesGraphReadyClearAndShutsDownAtOnce) {
    g_fake.sourceAvailable = false;
    BuildCaptureGraph();
    EXPECT_FALSE(TestStatus(kGraphReady));
    ShowSettingsDialog();  // no source: nothing to show
    TeardownCaptureGraph();
    EXPECT_EQ(FakeCalls(), (Calls{"CaptureCreatePipeline", "CaptureCreateSource", "CaptureReleasePipeline",
                                  "CaptureShutdown"}));
    EXPECT_FALSE(TestStatus(kDeferredQuit));
}

TEST_F(CaptureGraphTest, RunningGraphTearsDownInOrder) {
    BuildCaptureGraph();
    EXPECT_TRUE(TestStatus(kGraphReady));
    TeardownCaptureGraph();
    EXPECT_EQ(FakeCalls(), (Calls{"CaptureCreatePipeline", "CaptureCreateSource", "CaptureConnect", "CaptureRun",
                                  "CaptureStop", "CaptureReleaseSource", "CaptureReleasePipeline",
                                  "CaptureShutdown"}));
    EXPECT_TRUE(TestStatus(kGraphReady)) << "stays set until the process ends";
}

TEST_F(CaptureGraphTest, SettingsDialogOpensOnceAndIsConfirmed) {
    BuildCaptureGraph();
    FakeReset();
    g_fake.whileSettingsDialogOpen = [] {
        ShowSettingsDialog();  // the second Tab
        ConfirmSettingsDialog();
    };
    ShowSettingsDialog();
    EXPECT_EQ(FakeCalls(), (Calls{"SettingsDialogOpen", "SettingsDialogConfirm", "SettingsDialogReturned"}));
    ConfirmSettingsDialog();  // nothing open: nothing pressed
    EXPECT_EQ(FakeCalls().size(), 3u);
}

TEST_F(CaptureGraphTest, TeardownInsideOpenDialogDefersShutdown) {
    BuildCaptureGraph();
    FakeReset();
    g_fake.whileSettingsDialogOpen = [] { TeardownCaptureGraph(); };
    ShowSettingsDialog();
    EXPECT_EQ(FakeCalls(),
              (Calls{"SettingsDialogOpen", "CaptureStop", "CaptureReleaseSource", "SettingsDialogClose",
                     "StartDeferredQuitTimer", "CaptureReleasePipeline", "SettingsDialogReturned"}));
    EXPECT_TRUE(TestStatus(kDeferredQuit));
}

// A camera lost mid-run: one drop however often the loss is reported, a
// retry every tick until the camera opens, nothing after the close.
TEST_F(CaptureGraphTest, LostCameraIsRetriedUntilItReturnsAndNeverAfterTheClose) {
    BuildCaptureGraph();
    FakeReset();
    OnCaptureLost();
    OnCaptureLost();
    ShowSettingsDialog();  // no camera: no dialog
    g_fake.sourceAvailable = false;
    OnCaptureWatchTimer();
    EXPECT_TRUE(CaptureIsLost());
    EXPECT_TRUE(g_fake.captureWatchArmed);
    g_fake.sourceAvailable = true;
    OnCaptureRetry();      // the camera announces its return
    OnCaptureRetry();      // and again, late
    OnCaptureWatchTimer();
    EXPECT_FALSE(CaptureIsLost());
    EXPECT_EQ(FakeCalls(), (Calls{"SettingsDialogClose", "CaptureDropSource", "CaptureReopenSource",
                                  "CaptureReopenSource"}));

    OnCaptureLost();
    g_tracker.closed = true;  // as the close sequence does before the teardown
    TeardownCaptureGraph();
    EXPECT_FALSE(g_fake.captureWatchArmed);
    FakeReset();
    OnCaptureWatchTimer();
    OnCaptureRetry();
    OnCaptureLost();
    EXPECT_TRUE(FakeCalls().empty());
}

// Frames that stop without a word from the driver: three quiet seconds
// after frames came count as a loss; a source that never delivered is left
// alone, and one reopened after a loss has five seconds to deliver.
TEST_F(CaptureGraphTest, StreamThatStopsDeliveringCountsAsLost) {
    BuildCaptureGraph();
    const auto ticks = [](int n, bool pass) {
        for (int i = 0; i < n; ++i) {
            if (pass) g_tracker.viewWatch.fetch_add(1u << 8);
            OnCaptureWatchTimer();
        }
        return CaptureIsLost();
    };
    EXPECT_FALSE(ticks(10, false)) << "never delivered";
    EXPECT_FALSE(ticks(5, true));
    EXPECT_FALSE(ticks(2, false)) << "two quiet seconds";
    EXPECT_TRUE(ticks(1, false)) << "the third";
    EXPECT_FALSE(ticks(1, false)) << "reopened on the next tick";
    EXPECT_FALSE(ticks(4, false));
    EXPECT_TRUE(ticks(1, false)) << "five quiet seconds after the reopen";
    EXPECT_FALSE(ticks(1, false)) << "reopened again";
    g_tracker.trackingPasses.fetch_add(1);  // tracking passes count as well
    EXPECT_FALSE(ticks(3, false));
    EXPECT_TRUE(ticks(1, false));
    EXPECT_TRUE(g_fake.captureWatchArmed);
}

}  // namespace
