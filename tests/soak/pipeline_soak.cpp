// Hours of use in minutes: the whole program (creation, capture, worker,
// passes, cursor, close and save) started and stopped again and again over
// the fake window system, while a camera delivers frames as fast as the sink
// will take them and the operator switches modes, sets corners, opens the
// settings dialog, minimises and presses F12 at random.
//
// Every run must close with the worker gone and the settings file holding
// exactly the corners in memory, and the next run must load them back. With
// LeakSanitizer built in, every run is checked for leaks; in the plain
// build the heap in use must not grow from run to run, and the resident
// size must level off once the allocator has settled (by a quarter of the
// runs) and stay there.
//
//   pipeline_soak [--frames N] [--frames-per-run M] [--seed S]
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define LUMIDART_SOAK_LEAK_CHECKS 1
#elif !defined(__SANITIZE_THREAD__)
#define LUMIDART_SOAK_RESIDENT_CHECK 1
#endif

#include "app/main_window.h"
#include "capture/frame_sink.h"
#include "fake_platform/fake_platform.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"
#include "virtualcam/scene.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    long frames = 1000000;
    long framesPerRun = 50000;
    uint32_t seed = 1;
};

struct Counters {
    std::atomic<long> offered{0}, accepted{0}, shortOffered{0}, shortAccepted{0};
    long runs = 0, modeSwitches = 0, cornerEdits = 0, minimises = 0, f12Presses = 0, restores = 0;
    long dialogs = 0, closesInDialog = 0, calibrationChecks = 0, leakChecks = 0;
    std::vector<double> closeMs;
};

Counters g_counts;
std::vector<std::vector<uint32_t>> g_frames;
std::atomic<bool> g_producing{false};
std::thread g_producer;
// Bumped by the UI loop; the watchdog aborts when it stops moving.
std::atomic<long> g_progress{0};
std::atomic<const char*> g_phase{"start"};
std::mt19937 g_rng;
int g_failures = 0;

void Fail(const std::string& what) {
    std::fprintf(stderr, "FAIL run %ld: %s\n", g_counts.runs, what.c_str());
    ++g_failures;
}

// The camera: whole frames flat out, and now and then a sample one word
// short, which the sink must skip.
void Produce() {
    size_t next = 0;
    while (g_producing.load(std::memory_order_relaxed)) {
        const std::vector<uint32_t>& frame = g_frames[next++ % g_frames.size()];
        const bool isShort = next % 997 == 0;
        const size_t length = isShort ? kFrameBytes - 4 : kFrameBytes;
        const bool taken = DeliverFrame(frame.data(), length);
        g_counts.offered.fetch_add(1, std::memory_order_relaxed);
        if (isShort) g_counts.shortOffered.fetch_add(1, std::memory_order_relaxed);
        if (taken) (isShort ? g_counts.shortAccepted : g_counts.accepted).fetch_add(1, std::memory_order_relaxed);
    }
}

void StartCamera() {
    g_producing = true;
    g_producer = std::thread(Produce);
}

void StopCamera() {
    if (!g_producer.joinable()) return;
    g_producing = false;
    g_producer.join();
}

void RenderFrames() {
    SceneSettings scene;
    scene.noise = 6;
    const ScenePoint spots[] = {{320, 240}, {322, 241}, {100, 400}, {550, 60}, {45, 435}, {600, 440}, {0, 0}};
    for (const ScenePoint& spot : spots) {
        scene.spotX = spot.x;
        scene.spotY = spot.y;
        g_frames.emplace_back(kFramePixels);
        RenderScene(scene, static_cast<uint32_t>(g_frames.size()), g_frames.back().data());
    }
    // No spot; then a white distractor brighter than any spot.
    scene.spotRadius = 0;
    g_frames.emplace_back(kFramePixels);
    RenderScene(scene, 90, g_frames.back().data());
    scene.spotRadius = 4;
    scene.whiteSize = 12;
    g_frames.emplace_back(kFramePixels);
    RenderScene(scene, 91, g_frames.back().data());
}

void Step() {
    g_progress.fetch_add(1, std::memory_order_relaxed);
    FakeDispatchNotices();
}

// Waits for n more passes that present a picture, dispatching meanwhile.
void AwaitPresents(int n) {
    const int target = g_fake.presents.load() + n;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (g_fake.presents.load() < target) {
        if (Clock::now() > deadline) {
            Fail("no picture pass for 20 s");
            return;
        }
        Step();
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

// A real minimise comes long after the last Tracking pass; the mapping is
// solved only once passes in another mode prove that pass is over.
void Minimise() {
    if (LoadMode() == kModeTracking) {
        OnRestored();
        ++g_counts.restores;
    }
    AwaitPresents(2);
    OnKeyEscape();
    Step();
    ++g_counts.minimises;
}

void RandomAction() {
    switch (g_rng() % 10) {
        case 0:
        case 1:
            OnKeySpace();
            ++g_counts.modeSwitches;
            break;
        case 2:
        case 3:
            if (LoadMode() == kModePreview) ++g_counts.cornerEdits;
            OnLeftButtonDown(static_cast<uint16_t>(g_rng() % 640), static_cast<uint16_t>(g_rng() % 480));
            break;
        case 4:
            Minimise();
            break;
        case 5:
            if (LoadMode() == kModeTracking) {
                OnRestored();
                ++g_counts.restores;
            }
            break;
        case 6: {
            // F12 held for a few frames, whatever the mode.
            g_fake.keyDown[kKeyF12] = true;
            ++g_counts.f12Presses;
            std::this_thread::sleep_for(std::chrono::microseconds(g_rng() % 4000));
            g_fake.keyDown[kKeyF12] = false;
            break;
        }
        case 7:
            ++g_counts.dialogs;
            g_fake.whileSettingsDialogOpen = [] {
                // The console keeps working under the dialog; a minimise
                // presses its OK.
                for (int i = 0; i < 3; ++i) {
                    OnKeySpace();
                    Step();
                }
                if (g_rng() % 2 == 0) Minimise();
            };
            OnKeyTab();
            g_fake.whileSettingsDialogOpen = nullptr;
            break;
        default:
            break;
    }
    Step();
    std::this_thread::sleep_for(std::chrono::microseconds(g_rng() % 2000));
}

std::vector<uint8_t> FileBytes() {
    std::ifstream in(kSettingsFileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> MemoryBytes() {
    std::vector<uint8_t> bytes(kSettingsFileBytes);
    EncodeCalibration(bytes.data());
    return bytes;
}

struct MemorySample {
    long residentKiB;
    size_t heapInUse;
};

long ResidentKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    }
    return -1;
}

MemorySample SampleMemory() {
    const struct mallinfo2 heap = mallinfo2();
    return {ResidentKiB("VmRSS:"), heap.uordblks + heap.hblkhd};
}

void RunProgramOnce(const Options& options, const std::vector<uint8_t>& expectedCorners) {
    ResetTrackerState();
    FakeReset();
    g_fake.quiet = true;
    g_fake.onCaptureRun = StartCamera;
    g_fake.onCaptureStop = StopCamera;
    g_fake.blockRestoreUntilPump = g_rng() % 2 == 0;
    static const PlatformScreenMetrics kScreens[] = {
        {1920, 1080, 0, 0}, {1024, 768, 0, 0}, {3840, 2160, 0, 0}, {800, 600, 0, 0}};
    g_fake.metrics = kScreens[g_counts.runs % 4];

    g_phase = "create";
    CreateMainWindow();
    if (!expectedCorners.empty() && MemoryBytes() != expectedCorners) Fail("the corners saved last run did not load");

    g_phase = "run";
    const long target = g_counts.accepted.load() + options.framesPerRun;
    while (g_counts.accepted.load() < target) RandomAction();

    g_phase = "close";
    const auto closeStart = Clock::now();
    if (g_rng() % 4 == 0) {
        // The close request arrives while the settings dialog is open: the
        // quit waits for the deferred timer.
        g_fake.whileSettingsDialogOpen = [] { OnClose(); };
        OnKeyTab();
        g_fake.whileSettingsDialogOpen = nullptr;
        ++g_counts.closesInDialog;
    } else {
        OnClose();
    }
    g_counts.closeMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - closeStart).count());
    OnClose();  // a second close request is harmless
    bool quit = false;
    for (int i = 0; i < 1000 && !quit; ++i) quit = !FakeDispatchNotices();
    if (!quit) Fail("no quit after the close");
    if (g_tracker.workerRun.load() != kWorkerExited) Fail("the worker outlived the close");
    if (g_tracker.frame.load() != nullptr) Fail("the Frame buffer outlived the close");
    if (g_fake.restoreTimeouts.load() != 0) Fail("a restore waited 5 s for the UI thread");
    if (FileBytes() != MemoryBytes()) Fail("the settings file differs from the corners in memory");
    ++g_counts.calibrationChecks;
    ++g_counts.runs;
}

void Watchdog() {
    long seen = -1;
    auto since = Clock::now();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const long now = g_progress.load();
        if (now != seen) {
            seen = now;
            since = Clock::now();
        } else if (Clock::now() - since > std::chrono::seconds(60)) {
            std::fprintf(stderr, "FAIL no progress for 60 s in phase '%s' (mode %d, status 0x%x, worker %d)\n",
                         g_phase.load(), LoadMode(), g_tracker.status.load(), g_tracker.workerRun.load());
            std::abort();
        }
    }
}

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        char* end = nullptr;
        const long value = std::strtol(argv[i + 1], &end, 10);
        if (*end != '\0' || value <= 0) return false;
        if (key == "--frames") {
            options->frames = value;
        } else if (key == "--frames-per-run") {
            options->framesPerRun = value;
        } else if (key == "--seed") {
            options->seed = static_cast<uint32_t>(value);
        } else {
            return false;
        }
    }
    return argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "usage: %s [--frames N] [--frames-per-run M] [--seed S]\n", argv[0]);
        return 2;
    }
    g_rng.seed(options.seed);
    // A fixed threshold keeps every Frame buffer in its own mapping, given
    // back at release, as a new process would start with. Left dynamic, the
    // allocator moves the buffer into the heap and each restart strands a
    // little of it, which says nothing about the program.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    const fs::path dir = fs::temp_directory_path() / ("lumidart-soak-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    RenderFrames();
    std::thread(Watchdog).detach();

    const auto start = Clock::now();
    std::vector<uint8_t> corners;
    std::vector<MemorySample> memory;
    while (g_counts.accepted.load() < options.frames) {
        RunProgramOnce(options, corners);
        corners = FileBytes();
#ifdef LUMIDART_SOAK_LEAK_CHECKS
        if (__lsan_do_recoverable_leak_check() != 0) Fail("LeakSanitizer found leaks");
        ++g_counts.leakChecks;
#endif
        memory.push_back(SampleMemory());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const MemorySample& first = memory.front();
    const MemorySample& settled = memory[memory.size() / 4];
    const MemorySample& last = memory.back();

    std::vector<double> close = g_counts.closeMs;
    std::sort(close.begin(), close.end());
    std::printf("runs (program start to close)   %ld\n", g_counts.runs);
    std::printf("frames analysed                 %ld in %.1f s (%.0f per second)\n", g_counts.accepted.load(),
                seconds, g_counts.accepted.load() / seconds);
    std::printf("frames offered / dropped, skipped %ld / %ld\n", g_counts.offered.load(),
                g_counts.offered.load() - g_counts.accepted.load() - g_counts.shortAccepted.load());
    std::printf("short samples offered / taken   %ld / %ld\n", g_counts.shortOffered.load(),
                g_counts.shortAccepted.load());
    std::printf("cursor moves injected           %ld (last run)\n", g_fake.injections.load());
    std::printf("mode switches, corner edits     %ld, %ld\n", g_counts.modeSwitches, g_counts.cornerEdits);
    std::printf("minimises, restores, F12 holds  %ld, %ld, %ld\n", g_counts.minimises, g_counts.restores,
                g_counts.f12Presses);
    std::printf("settings dialogs, closes in one %ld, %ld\n", g_counts.dialogs, g_counts.closesInDialog);
    std::printf("close (capture stop, StopWorker) median %.2f ms, max %.2f ms\n", close[close.size() / 2],
                close.back());
    std::printf("calibration intact after close  %ld of %ld runs\n", g_counts.calibrationChecks, g_counts.runs);
    std::printf("resident KiB after run 1 / %zu / last  %ld / %ld / %ld (peak %ld)\n", memory.size() / 4 + 1,
                first.residentKiB, settled.residentKiB, last.residentKiB, ResidentKiB("VmHWM:"));
#ifdef LUMIDART_SOAK_LEAK_CHECKS
    std::printf("leak checks (LeakSanitizer)     %ld, all clean: %s\n", g_counts.leakChecks,
                g_failures == 0 ? "yes" : "no");
#endif
#ifdef LUMIDART_SOAK_RESIDENT_CHECK
    std::printf("heap bytes in use after run 1 / last  %zu / %zu\n", first.heapInUse, last.heapInUse);
    // The sanitizers' quarantine and shadow memory grow the resident size by
    // design, so only the plain build is held to this.
    // The run counters and close times are the only data kept on purpose.
    if (last.heapInUse > first.heapInUse + 64 * 1024) Fail("the heap in use grew by more than 64 KiB");
    if (last.residentKiB > settled.residentKiB + 4096) Fail("the resident size grew by more than 4 MiB after settling");
#endif
    if (g_counts.shortAccepted.load() != 0) Fail("the sink took a short sample");
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
    std::printf("%s\n", g_failures == 0 ? "soak passed" : "soak FAILED");
    return g_failures == 0 ? 0 : 1;
}
