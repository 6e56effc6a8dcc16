// A platform for tests: records what the portable code asks of the system
// and lets a test script what the system answers. Threads and the settings
// file are the real ones; everything else is here.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "state/platform.h"

struct InjectedMove {
    int32_t x, y;  // absolute, 0..65535 across the target monitor
};

// Notices the fake window system queues for the UI thread.
enum FakeNotice { kNoticeRestored, kNoticeMinimized, kNoticeTimer, kNoticeQuit };

struct FakePlatform {
    std::mutex lock;
    std::vector<InjectedMove> moves;
    std::vector<std::string> calls;
    std::deque<FakeNotice> notices;

    // Long runs: calls and moves are counted but not kept.
    std::atomic<bool> quiet;
    std::atomic<long> injections;

    std::atomic<bool> keyDown[4];
    // Called on the injecting thread after each move is recorded.
    void (*onInject)(int32_t x, int32_t y) = nullptr;

    PlatformScreenMetrics metrics{1024, 768, 0, 0};
    PlatformWindow* runningInstance = nullptr;
    // The window's outer rectangle. Its frame is a classic desktop's: a
    // 6-pixel border (3 each side) and a 19-pixel caption.
    std::atomic<int32_t> windowLeft, windowTop, windowRight, windowBottom;
    std::atomic<int32_t> cursorX, cursorY;

    // When set, a restore waits (like a message sent to the UI thread) until
    // the UI thread pumps its window requests, for at most 5 seconds.
    std::atomic<bool> blockRestoreUntilPump;
    std::atomic<int> pumps;
    std::atomic<int> restores;
    std::atomic<int> restoreTimeouts;

    bool sourceAvailable = true;
    // The cameras listed, and the identity the source would open.
    std::vector<PlatformCamera> cameras;
    bool cameraOverridden = false;
    std::string selectedCamera;
    // Stand-ins for the camera: started by the run, and stop must return
    // only once no delivery is in progress.
    void (*onCaptureRun)() = nullptr;
    void (*onCaptureStop)() = nullptr;
    bool pictureAvailable = true;
    bool settingsDialogOpen = false;
    // Run inside the modal settings dialog, as the UI events that arrive
    // while it is open.
    void (*whileSettingsDialogOpen)() = nullptr;
    std::atomic<int> presents;

    // The camera's exposure control; none when exposureAvailable is false.
    // Each set is recorded, and exposureTimerArmed tells whether the
    // exposure timer waits to fire.
    bool exposureAvailable = true;
    PlatformExposureControl exposureControl{0, 100, 1, 50};
    std::vector<int32_t> exposureSets;
    bool exposureTimerArmed = false;

    // The calibration pattern's grey, -1 while hidden, and the delay the
    // calibration timer waits with (0: not armed).
    int32_t patternGrey = -1;
    int calibrationTimerMs = 0;

    // Whether the capture watch and the tracking watch wait to fire.
    bool captureWatchArmed = false;
    bool watchTimerArmed = false;
};

extern FakePlatform g_fake;
// The window handle the fake hands to OnCreate.
PlatformWindow* FakeWindow();

void FakeReset();
std::vector<InjectedMove> FakeMoves();
std::vector<std::string> FakeCalls();
void FakeRecord(const std::string& call);
void FakeSetWindowRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
constexpr int32_t kFakeBorder = 3, kFakeCaption = 19;
// Runs the queued notices through the window's handlers; false once the
// quit notice has been reached.
bool FakeDispatchNotices();
