// Scene frames through the real sink into the real worker, with the fake
// platform standing in for the window system and the pointer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "analysis/analysis_worker.h"
#include "app/main_window.h"
#include "capture/frame_sink.h"
#include "fake_platform/fake_platform.h"
#include "preview/soft_picture.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"
#include "tracking/mapping.h"
#include "virtualcam/scene.h"

namespace {

bool Idle() { return !TestStatus(kFramePending); }

void WaitUntil(bool (*done)()) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

class PipelineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetTrackerState();
        FakeReset();
        g_tracker.mainWindow.store(FakeWindow());
        g_tracker.screenWidth.store(1920);
        g_tracker.screenHeight.store(1080);
        g_tracker.frame.store(SoftCreatePicture());
        SetDefaultCalibration();
        UpdateSearchBox();
        frame_.resize(kFramePixels);
    }
    void TearDown() override {
        g_tracker.frame.store(nullptr);
        SoftReleasePicture();
    }
    void Render(int32_t x, int32_t y, uint32_t index) {
        scene_.spotX = x;
        scene_.spotY = y;
        RenderScene(scene_, index, frame_.data());
    }
    void Deliver() { DeliverFrame(frame_.data(), frame_.size() * 4); }

    SceneSettings scene_;
    std::vector<uint32_t> frame_;
};

// With the default, axis-aligned quad the projective map is affine in x and,
// but for the 0.1-row tilt of a level bottom side, in y: the expected pixel
// is computed directly from the quad. Spots stay wholly inside the Search
// box, whose edges would otherwise cut the disc and move its centre.
TEST_F(PipelineTest, TrackingFollowsTheSpotThroughMappingAndSmoothing) {
    SolveMapping();
    g_tracker.cursorX.store(960);
    g_tracker.cursorY.store(540);
    StoreMode(kModeTracking);
    StartWorker();

    int32_t sx = 960, sy = 540;
    const struct {
        int32_t x, y;
    } path[] = {{320, 240}, {322, 241}, {100, 400}, {550, 60}, {551, 60}, {300, 300}, {45, 435}, {595, 45}};
    uint32_t index = 0;
    for (const auto& p : path) {
        Render(p.x, p.y, index++);
        Deliver();
        WaitUntil(Idle);
        // Independent of the solve: x runs linearly from P0x to P1x across
        // the screen, y from P2y (top) to P0y (bottom), within a pixel.
        const double ex = (p.x - 40) * 1920.0 / 560.0;
        const double ey = 1080.0 - (p.y - 40) * 1080.0 / 400.0;
        const auto smooth = [](int32_t target, int32_t previous) {
            return std::abs(target - previous) <= 8 ? (target + 3 * previous) / 4 : target;
        };
        const auto moves = FakeMoves();
        ASSERT_EQ(moves.size(), index) << "one move per analysed frame with a spot";
        const int32_t mx = static_cast<int32_t>(static_cast<int64_t>(moves.back().x) * 1920 / 65535);
        const int32_t my = static_cast<int32_t>(static_cast<int64_t>(moves.back().y) * 1080 / 65535);
        sx = smooth(static_cast<int32_t>(ex), sx);
        sy = smooth(static_cast<int32_t>(ey), sy);
        EXPECT_NEAR(mx, sx, 2) << p.x << "," << p.y;
        EXPECT_NEAR(my, sy, 2) << p.x << "," << p.y;
    }
    StoreMode(kModePreview);
    StopWorker();
}

// Flat out: every frame the sink accepts gives exactly one pass, and every
// other frame is dropped, never queued.
TEST_F(PipelineTest, FramesArrivingDuringAPassAreDropped) {
    StoreMode(kModePreview);
    StartWorker();
    Render(320, 240, 0);
    int accepted = 0;
    const int total = 4000;
    for (int i = 0; i < total; ++i) {
        if (DeliverFrame(frame_.data(), frame_.size() * 4)) ++accepted;
    }
    WaitUntil(Idle);
    EXPECT_EQ(g_fake.presents.load(), accepted);
    EXPECT_LT(accepted, total) << "a flat-out producer outruns the passes";
    StopWorker();
    EXPECT_EQ(g_fake.presents.load(), accepted + 1) << "plus the stop pass";
}

// Thousands of frames while the UI thread switches modes, edits corners,
// presses F12 and stops and restarts the worker; under the sanitizers this
// is the race hunt. A new mapping is solved only once a Preview pass has
// run: a real minimise follows a restore by far more than one frame.
TEST_F(PipelineTest, RandomModeSwitchesEditsAndStops) {
    std::mt19937 rng(4242);
    std::atomic<bool> producing{true};
    std::thread producer([&] {
        std::vector<uint32_t> local(kFramePixels);
        SceneSettings scene;
        uint32_t index = 0;
        while (producing.load()) {
            scene.spotX = 40 + static_cast<int32_t>(index * 37 % 560);
            scene.spotY = 40 + static_cast<int32_t>(index * 23 % 400);
            RenderScene(scene, index++, local.data());
            DeliverFrame(local.data(), local.size() * 4);
        }
    });

    for (int round = 0; round < 12; ++round) {
        g_fake.blockRestoreUntilPump = (round % 3 == 0);
        StoreMode(kModePreview);
        StartWorker();
        for (int step = 0; step < 60; ++step) {
            switch (rng() % 6) {
                case 0: OnKeySpace(); break;
                case 1: OnRestored(); break;
                case 2: OnLeftButtonDown(static_cast<uint16_t>(rng() % 640), static_cast<uint16_t>(rng() % 480)); break;
                case 3: {
                    OnRestored();
                    const int seen = g_fake.presents.load();
                    while (g_fake.presents.load() < seen + 2) FakeDispatchNotices();
                    OnMinimized();
                    break;
                }
                case 4: g_fake.keyDown[kKeyF12] = !g_fake.keyDown[kKeyF12].load(); break;
                default: break;
            }
            // The UI thread's event loop keeps running between the keys.
            FakeDispatchNotices();
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
        }
        StoreMode(kModePreview);
        StopWorker();
        EXPECT_EQ(g_tracker.workerRun.load(), kWorkerExited) << "round " << round;
        EXPECT_EQ(g_fake.restoreTimeouts.load(), 0);
        FakeDispatchNotices();
        ClearStatus(kFramePending);
    }
    producing = false;
    producer.join();
    EXPECT_GT(g_fake.presents.load(), 100);
    EXPECT_FALSE(FakeMoves().empty());
}

}  // namespace
