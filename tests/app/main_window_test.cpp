#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "fake_platform/fake_platform.h"
#include "fake_platform/scratch_directory.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"
#include "tracking/mapping.h"

namespace fs = std::filesystem;

namespace {

using Calls = std::vector<std::string>;

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetTrackerState();
        FakeReset();
    }
    void TearDown() override {
        if (!g_tracker.closed && g_tracker.frameReady.load() != nullptr) OnClose();
    }
    static Calls Without(Calls calls, const std::string& name) {
        calls.erase(std::remove(calls.begin(), calls.end(), name), calls.end());
        return calls;
    }
    ScratchDirectory scratch_{"lumidart-window-"};
};

TEST_F(MainWindowTest, WindowIsCentredWithRoomForFrameAndCaption) {
    g_fake.metrics = {1024, 768, 0, 0};
    g_fake.sourceAvailable = false;
    EXPECT_EQ(RunLumidart(), 0);
    EXPECT_EQ(FakeCalls().front(), "CreateMainWindow 192,144 646x505");
}

TEST_F(MainWindowTest, WindowIsCentredOnTheTargetMonitor) {
    // A 1920 x 1080 projector to the right of a 1280-pixel laptop screen.
    g_fake.metrics = {1920, 1080, 1280, 0};
    g_fake.sourceAvailable = false;
    EXPECT_EQ(RunLumidart(), 0);
    EXPECT_EQ(FakeCalls().front(), "CreateMainWindow 1920,300 646x505");
    EXPECT_EQ(g_tracker.screenWidth.load(), 1920);
}

TEST_F(MainWindowTest, GeometryIsTakenAgainAtEachTrackingStart) {
    g_fake.metrics = {1024, 768, 0, 0};
    CreateMainWindow();
    g_fake.metrics = {1366, 768, 0, 0};  // changed while in Preview
    OnScreenChanged();
    EXPECT_EQ(g_tracker.screenWidth.load(), 1366);
    g_fake.metrics = {1920, 1080, 0, 0};  // and again, unannounced
    OnMinimized();
    EXPECT_EQ(g_tracker.screenWidth.load(), 1920);
    EXPECT_EQ(g_tracker.cursorX.load(), 960);
    EXPECT_EQ(g_tracker.cursorY.load(), 540);
    const ScreenPoint centre = MapSpot({640, 480});  // sums: twice the default quad's centre
    EXPECT_EQ(centre.x, 959);
    EXPECT_EQ(centre.y, 540);
}

TEST_F(MainWindowTest, NoSourceClosesAtOnceWithoutWritingSettings) {
    g_fake.sourceAvailable = false;
    EXPECT_EQ(RunLumidart(), 0);
    EXPECT_EQ(FakeCalls(), (Calls{"CreateMainWindow 192,144 646x505", "CreatePicture", "CaptureCreatePipeline",
                                  "CaptureCreateSource", "CaptureReleasePipeline", "CaptureShutdown",
                                  "ReleasePicture", "PostQuit"}));
    EXPECT_FALSE(fs::exists(kSettingsFileName));
    EXPECT_EQ(g_tracker.workerRun.load(), kWorkerExited);
}

TEST_F(MainWindowTest, SecondCopyRestoresTheFirstAndCreatesNothing) {
    static int otherWindow;
    g_fake.runningInstance = reinterpret_cast<PlatformWindow*>(&otherWindow);
    EXPECT_EQ(RunLumidart(), 0);
    EXPECT_EQ(FakeCalls(), (Calls{"RestoreOther"}));
}

TEST_F(MainWindowTest, CloseRunsInOrderOnceAndSavesTheCorners) {
    OnCreate(FakeWindow());
    EXPECT_EQ(LoadMode(), kModePreview);
    EXPECT_TRUE(TestStatus(kGraphReady));
    EXPECT_EQ(LoadSearchBox().xMax, 600) << "creation loads the corners and their Search box";
    OnKeySpace();
    FakeReset();
    OnClose();
    OnClose();  // a second close request releases nothing twice
    EXPECT_EQ(FakeCalls(), (Calls{"CaptureStop", "CaptureReleaseSource", "CaptureReleasePipeline",
                                  "CaptureShutdown", "ReleasePicture", "PostQuit"}));
    EXPECT_EQ(LoadMode(), kModePreview);
    EXPECT_TRUE(fs::exists(kSettingsFileName)) << "a run with a source always saves";
    OnKeyTab();  // the source is gone: no dialog
    EXPECT_EQ(FakeCalls().size(), 6u);
}

// An ending without the close sequence saves just what a close would save
// and touches nothing else: the capture and the worker may still be running.
TEST_F(MainWindowTest, SaveAsCloseWouldSavesOnlyWhenACloseWould) {
    SaveAsCloseWould();
    EXPECT_FALSE(fs::exists(kSettingsFileName)) << "before any source or click";
    SetCorner(100, 100);
    SaveAsCloseWould();
    ASSERT_TRUE(fs::exists(kSettingsFileName)) << "a corner was set";
    EXPECT_EQ(Corner(kUpperLeftY), 380);
    fs::remove(kSettingsFileName);

    OnCreate(FakeWindow());
    ASSERT_TRUE(TestStatus(kGraphReady));
    FakeReset();
    SaveAsCloseWould();
    EXPECT_TRUE(fs::exists(kSettingsFileName)) << "a run with a source";
    EXPECT_EQ(FakeCalls(), Calls{});
    EXPECT_EQ(g_tracker.workerRun.load(), kWorkerRunning);
}

TEST_F(MainWindowTest, CloseWithSettingsDialogOpenQuitsOnTheTimer) {
    OnCreate(FakeWindow());
    FakeReset();
    g_fake.whileSettingsDialogOpen = [] { OnClose(); };
    OnKeyTab();
    EXPECT_EQ(FakeCalls(), (Calls{"SettingsDialogOpen", "CaptureStop", "CaptureReleaseSource", "SettingsDialogClose",
                                  "StartDeferredQuitTimer", "CaptureReleasePipeline", "ReleasePicture",
                                  "SettingsDialogReturned"}));
    EXPECT_TRUE(fs::exists(kSettingsFileName));
    FakeReset();
    OnDeferredQuitTimer();
    OnDeferredQuitTimer();  // a late tick does nothing more
    EXPECT_EQ(FakeCalls(), (Calls{"KillDeferredQuitTimer", "CaptureShutdown", "PostQuit", "KillDeferredQuitTimer"}));
}

TEST_F(MainWindowTest, ModeStateMachine) {
    g_fake.metrics = {1366, 768, 0, 0};
    CreateMainWindow();
    EXPECT_EQ(LoadMode(), kModePreview);
    OnKeySpace();
    EXPECT_EQ(LoadMode(), kModeThreshold);
    OnKeySpace();
    EXPECT_EQ(LoadMode(), kModePreview);
    OnKeySpace();
    EXPECT_EQ(LoadMode(), kModeThreshold);

    OnKeyEscape();  // asks for the minimise; the notice starts tracking
    EXPECT_EQ(LoadMode(), kModeThreshold);
    FakeDispatchNotices();
    EXPECT_EQ(LoadMode(), kModeTracking);
    EXPECT_EQ(g_tracker.cursorX.load(), 683);
    EXPECT_EQ(g_tracker.cursorY.load(), 384);

    OnKeySpace();  // Space while tracking returns to Preview
    EXPECT_EQ(LoadMode(), kModePreview);
    OnMinimized();
    OnRestored();
    EXPECT_EQ(LoadMode(), kModePreview);
}

TEST_F(MainWindowTest, CornerClicksOnlyInPreviewAndMappingOnlyOnMinimise) {
    g_fake.metrics = {1024, 768, 0, 0};
    CreateMainWindow();
    OnMinimized();
    const double before = g_tracker.xu;
    OnRestored();

    OnKeySpace();
    OnLeftButtonDown(100, 100);  // Threshold view: ignored
    EXPECT_EQ(Corner(kUpperLeftX), 40);
    OnKeySpace();
    OnLeftButtonDown(100, 100);
    EXPECT_EQ(Corner(kUpperLeftX), 100);
    EXPECT_EQ(Corner(kUpperLeftY), 380);
    EXPECT_TRUE(TestStatus(kCornersDirty));
    EXPECT_EQ(g_tracker.xu, before) << "edits wait for the next minimise";

    OnMinimized();
    EXPECT_NE(g_tracker.xu, before);
    OnLeftButtonDown(500, 400);  // tracking: ignored
    EXPECT_EQ(Corner(kLowerRightX), 600);
}

TEST_F(MainWindowTest, MinimiseConfirmsAnOpenSettingsDialog) {
    CreateMainWindow();
    FakeReset();
    g_fake.whileSettingsDialogOpen = [] { OnMinimized(); };
    OnKeyTab();
    EXPECT_EQ(FakeCalls(), (Calls{"SettingsDialogOpen", "SettingsDialogConfirm", "SettingsDialogReturned"}));
    EXPECT_EQ(LoadMode(), kModeTracking);
}

}  // namespace
