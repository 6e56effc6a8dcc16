#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "analysis/analysis_worker.h"
#include "analysis/tracking_watch.h"
#include "app/main_window.h"
#include "capture/frame_sink.h"
#include "fake_platform/fake_platform.h"
#include "preview/soft_picture.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"
#include "tracking/cursor_driver.h"
#include "tracking/mapping.h"

namespace {

class AnalysisWorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetTrackerState();
        FakeReset();
        g_tracker.mainWindow.store(FakeWindow());
        g_tracker.screenWidth.store(1024);
        g_tracker.screenHeight.store(768);
        g_tracker.frame.store(SoftCreatePicture());
        SetDefaultCalibration();
        UpdateSearchBox();
        SolveMapping();
        CentreSmoothedCursor();
        frame_.assign(kFramePixels, 0x00102030);
    }
    void TearDown() override {
        g_tracker.frame.store(nullptr);
        SoftReleasePicture();
    }
    void Deliver() { DeliverFrame(frame_.data(), frame_.size() * 4); }
    static void WaitUntil(bool (*done)()) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    static bool Idle() { return !TestStatus(kFramePending); }

    std::vector<uint32_t> frame_;
};

TEST_F(AnalysisWorkerTest, StopsInEveryModeAndLeavesExited) {
    for (int32_t mode : {int32_t{kModeTracking}, int32_t{kModePreview}, int32_t{kModeThreshold}, int32_t{7}}) {
        StoreMode(mode);
        StartWorker();
        EXPECT_EQ(g_tracker.workerRun.load(), kWorkerRunning);
        Deliver();
        WaitUntil(Idle);
        StopWorker();
        EXPECT_EQ(g_tracker.workerRun.load(), kWorkerExited) << "mode " << mode;
        EXPECT_EQ(g_tracker.frameReady.load(), nullptr);
        EXPECT_FALSE(TestStatus(kFramePending));
    }
    StopWorker();  // never started again: returns at once
}

TEST_F(AnalysisWorkerTest, TrackingPassMovesCursorOnlyWhenASpotIsFound) {
    StoreMode(kModeTracking);
    StartWorker();
    Deliver();  // dark frame: nothing injected
    WaitUntil(Idle);
    EXPECT_TRUE(FakeMoves().empty());

    frame_[240 * 640 + 320] = 0x00FF0000;  // frame point (320, 240)
    Deliver();
    WaitUntil(Idle);
    StoreMode(kModePreview);  // as the close sequence does
    StopWorker();
    // Mapped to (511, 384), blended with the centre (512, 384): x (511 + 1536) / 4.
    const auto moves = FakeMoves();
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(g_tracker.cursorX.load(), 511);
    EXPECT_EQ(moves[0].x, 511 * 65535 / 1024);
    EXPECT_EQ(moves[0].y, 384 * 65535 / 768);
    EXPECT_EQ(g_fake.presents.load(), 1) << "only the stop pass, in Preview, presents";
}

TEST_F(AnalysisWorkerTest, ScreenChangeDuringTrackingRemapsFromTheNextFrame) {
    StoreMode(kModeTracking);
    StartWorker();
    frame_[240 * 640 + 320] = 0x00FF0000;  // the default quad's centre
    Deliver();
    WaitUntil(Idle);
    EXPECT_EQ(g_tracker.cursorY.load(), 384);

    // The screen grows to 1280 x 1024 (a projector's mode) on the UI thread.
    g_fake.metrics = {1280, 1024, 0, 0};
    OnScreenChanged();
    EXPECT_EQ(g_tracker.screenWidth.load(), 1280);
    Deliver();
    WaitUntil(Idle);
    StoreMode(kModePreview);
    StopWorker();
    // The centre of the quad is the centre of the new screen, not the old
    // one's (511, 384) clamped into it.
    EXPECT_EQ(g_tracker.cursorX.load(), 639);
    EXPECT_EQ(g_tracker.cursorY.load(), 512);
    const auto moves = FakeMoves();
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[1].x, 639 * 65535 / 1280);
    EXPECT_EQ(moves[1].y, 512 * 65535 / 1024);
}

TEST_F(AnalysisWorkerTest, F12EndsTrackingEvenWithoutASpot) {
    StoreMode(kModeTracking);
    g_fake.keyDown[kKeyF12] = true;
    StartWorker();
    Deliver();
    WaitUntil(Idle);
    EXPECT_EQ(LoadMode(), kModePreview);
    Deliver();  // held over the next frame: Preview ignores it
    WaitUntil(Idle);
    StopWorker();
    EXPECT_EQ(g_fake.restores.load(), 1);
    EXPECT_TRUE(FakeMoves().empty());
}

TEST_F(AnalysisWorkerTest, PreviewAndThresholdPassesPresentTheirPicture) {
    StoreMode(kModePreview);
    StartWorker();
    Deliver();
    WaitUntil(Idle);
    EXPECT_EQ(g_fake.presents.load(), 1);
    EXPECT_EQ(g_tracker.frame.load()[239 * 640 + 320], kCrosshairPenPixel);  // picture line 240
    StoreMode(kModeThreshold);
    Deliver();
    WaitUntil(Idle);
    EXPECT_EQ(g_fake.presents.load(), 2);
    EXPECT_EQ(g_tracker.frame.load()[200 * 640 + 300], 0x00000000u);  // dark pixel in the box
    StopWorker();
}

// F12 held while the camera delivers nothing: the UI thread's watch sees
// the passes stand still and acts, once, even alongside a worker's pass.
TEST_F(AnalysisWorkerTest, WatchPollsF12OnceNoTrackingPassRuns) {
    StoreMode(kModeTracking);
    g_fake.keyDown[kKeyF12] = true;
    StartTrackingWatch();
    for (int tick = 0; tick < 5; ++tick) {
        g_tracker.trackingPasses.fetch_add(1);  // frames flow: the passes poll
        OnTrackingWatchTimer();
    }
    EXPECT_EQ(LoadMode(), kModeTracking);
    OnTrackingWatchTimer();
    EXPECT_EQ(LoadMode(), kModeTracking) << "acted after one quiet tick";
    g_fake.watchTimerArmed = false;
    OnTrackingWatchTimer();
    EXPECT_EQ(LoadMode(), kModePreview);
    EXPECT_FALSE(g_fake.watchTimerArmed) << "still watching in Preview";

    StoreMode(kModeTracking);
    StartTrackingWatch();
    StartWorker();
    Deliver();
    WaitUntil(Idle);
    OnTrackingWatchTimer();
    OnTrackingWatchTimer();
    StopWorker();
    EXPECT_EQ(g_fake.restores.load(), 2) << "one restore for each time tracking ended";
}

// A frame converted while tracking holds only the red of the Search box; a
// Preview or Threshold pass that meets one (tracking ended in between) must
// not show it, and the next whole frame is shown as usual.
TEST_F(AnalysisWorkerTest, RedOnlyFrameIsNeverPresented) {
    std::vector<uint8_t> grey(640 * 2 * 480, 128);
    const YuvMatrix bt601 = MakeYuvMatrix(0.299, 0.114, false);
    StartWorker();
    ASSERT_TRUE(DeliverPackedYuvFrame(grey.data(), grey.size(), 640 * 2, PackedYuvLayout::kYuy2, bt601));
    ASSERT_TRUE(TestStatus(kFrameRedOnly));
    for (const Mode mode : {kModePreview, kModeThreshold}) {
        StoreMode(mode);
        PlatformSignalEvent(g_tracker.frameReady.load());  // a pass without a new frame
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        WaitUntil(Idle);
        EXPECT_EQ(g_fake.presents.load(), 0) << mode;
    }
    ASSERT_TRUE(DeliverPackedYuvFrame(grey.data(), grey.size(), 640 * 2, PackedYuvLayout::kYuy2, bt601));
    WaitUntil([] { return g_fake.presents.load() == 1; });
    EXPECT_FALSE(TestStatus(kFrameRedOnly));
    EXPECT_EQ(g_fake.presents.load(), 1);
    StopWorker();
}

// The worker restores the window (F12) while the UI thread is stopping it.
// The fake restore waits, as a message sent to the UI thread would, until
// the UI thread services its window requests; StopWorker must do so.
TEST_F(AnalysisWorkerTest, StopWhileRestoringDoesNotDeadlock) {
    g_fake.blockRestoreUntilPump = true;
    g_fake.keyDown[kKeyF12] = true;
    StoreMode(kModeTracking);
    StartWorker();
    StopWorker();  // its own wake-up runs the F12 pass
    EXPECT_EQ(g_tracker.workerRun.load(), kWorkerExited);
    EXPECT_EQ(g_fake.restores.load(), 1);
    EXPECT_EQ(g_fake.restoreTimeouts.load(), 0) << "the restore waited in vain: a real one would deadlock";
}

}  // namespace
