// The frame path end to end: scene frames through the sink into the real
// worker, with the fake platform's recording injector. Prints the latency
// from the start of the sink's copy to the injection, the throughput of a
// flat-out producer, then Google Benchmark's figures for the drawing passes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "analysis/analysis_worker.h"
#include "capture/frame_sink.h"
#include "fake_platform/fake_platform.h"
#include "preview/preview_passes.h"
#include "preview/soft_picture.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"
#include "tracking/cursor_driver.h"
#include "tracking/mapping.h"
#include "virtualcam/scene.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int64_t> g_copyStart{0};
std::vector<int64_t> g_latencies;
std::atomic<int> g_injected{0};

int64_t Now() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

void RecordInjection(int32_t, int32_t) {
    const int64_t end = Now();
    g_latencies.push_back(end - g_copyStart.load(std::memory_order_relaxed));
    g_injected.fetch_add(1, std::memory_order_release);
}

void SetUpTracker() {
    ResetTrackerState();
    FakeReset();
    g_tracker.mainWindow.store(FakeWindow());
    g_tracker.screenWidth.store(1920);
    g_tracker.screenHeight.store(1080);
    FakeSetWindowRect(100, 100, 746, 605);
    g_fake.cursorX = 300;
    g_fake.cursorY = 300;
    g_tracker.frame.store(SoftCreatePicture());
    SetDefaultCalibration();
    UpdateSearchBox();
    SolveMapping();
    CentreSmoothedCursor();
}

std::vector<std::vector<uint32_t>> MakeFrames(int count) {
    std::vector<std::vector<uint32_t>> frames(count, std::vector<uint32_t>(kFramePixels));
    SceneSettings scene;
    for (int i = 0; i < count; ++i) {
        scene.spotX = 60 + (i * 53) % 520;
        scene.spotY = 60 + (i * 31) % 360;
        RenderScene(scene, static_cast<uint32_t>(i), frames[i].data());
    }
    return frames;
}

// Each sample is rendered just before it is delivered, as a capture source
// writes its buffer just before handing it on; the render is not timed.
void MeasureLatency(int total) {
    g_latencies.clear();
    g_latencies.reserve(total);
    g_fake.onInject = RecordInjection;
    StoreMode(kModeTracking);
    StartWorker();
    std::vector<uint32_t> f(kFramePixels);
    std::vector<int64_t> deliveries;
    deliveries.reserve(total);
    SceneSettings scene;
    for (int i = 0; i < total; ++i) {
        scene.spotX = 60 + (i * 53) % 520;
        scene.spotY = 60 + (i * 31) % 360;
        RenderScene(scene, static_cast<uint32_t>(i), f.data());
        const int before = g_injected.load(std::memory_order_acquire);
        const int64_t start = Now();
        g_copyStart.store(start, std::memory_order_relaxed);
        DeliverFrame(f.data(), f.size() * 4);
        deliveries.push_back(Now() - start);
        while (g_injected.load(std::memory_order_acquire) == before || TestStatus(kFramePending)) {
            std::this_thread::yield();
        }
    }
    StoreMode(kModePreview);
    StopWorker();
    g_fake.onInject = nullptr;
    std::sort(g_latencies.begin(), g_latencies.end());
    std::sort(deliveries.begin(), deliveries.end());
    const auto at = [](const std::vector<int64_t>& v, double q) {
        return v[static_cast<size_t>(q * (v.size() - 1))] / 1000.0;
    };
    std::printf("latency, copy start to injection, %zu frames: median %.1f us, p99 %.1f us, max %.1f us\n",
                g_latencies.size(), at(g_latencies, 0.5), at(g_latencies, 0.99), at(g_latencies, 1.0));
    std::printf("  of which the sink's copy and signal: median %.1f us, p99 %.1f us\n", at(deliveries, 0.5),
                at(deliveries, 0.99));
}

// The producer offers pre-rendered frames as fast as it can for a second.
void MeasureThroughput(const std::vector<std::vector<uint32_t>>& frames, double seconds) {
    StoreMode(kModeTracking);
    ClearStatus(kFramePending);
    StartWorker();
    const size_t movesBefore = FakeMoves().size();
    int64_t offered = 0, accepted = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        const auto& f = frames[offered % frames.size()];
        ++offered;
        if (DeliverFrame(f.data(), f.size() * 4)) ++accepted;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    while (TestStatus(kFramePending)) std::this_thread::yield();
    StoreMode(kModePreview);
    StopWorker();
    std::printf("flat-out producer for %.2f s: %.0f frames/s offered, %.0f analysed/s, %.0f dropped/s, "
                "%zu cursor moves\n",
                elapsed, offered / elapsed, accepted / elapsed, (offered - accepted) / elapsed,
                FakeMoves().size() - movesBefore);
}

void BM_PreviewPass(benchmark::State& state) {
    const auto frames = MakeFrames(1);
    for (auto _ : state) {
        std::copy(frames[0].begin(), frames[0].end(), g_tracker.frame.load());
        DrawPreviewPass();
    }
}

void BM_ThresholdPass(benchmark::State& state) {
    const auto frames = MakeFrames(1);
    g_fake.keyDown[kKeyLeftButton] = true;
    for (auto _ : state) {
        std::copy(frames[0].begin(), frames[0].end(), g_tracker.frame.load());
        DrawThresholdPass();
    }
    g_fake.keyDown[kKeyLeftButton] = false;
}

void BM_FrameCopyOnly(benchmark::State& state) {
    const auto frames = MakeFrames(1);
    for (auto _ : state) {
        std::copy(frames[0].begin(), frames[0].end(), g_tracker.frame.load());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_FrameCopyOnly);
BENCHMARK(BM_PreviewPass);
BENCHMARK(BM_ThresholdPass);

}  // namespace

int main(int argc, char** argv) {
    SetUpTracker();
    const auto frames = MakeFrames(64);
    MeasureLatency(10000);
    MeasureThroughput(frames, 1.0);
    std::printf("(the pass figures below include the copy of a fresh frame; subtract BM_FrameCopyOnly)\n");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
