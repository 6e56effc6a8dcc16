#include "capture/capture_recovery.h"

#include <cstdint>

#include "capture/camera_list.h"
#include "state/platform.h"
#include "state/tracker_state.h"

namespace {

constexpr int kWatchMs = 1000;
// Whole seconds without an analysed frame before a camera that had been
// delivering counts as lost. Some capture drivers (Wine's among them) just
// stop when the device goes, with no event; a hung USB camera does the same.
constexpr int kStallTicks = 3;
// A camera opened again after a loss had frames before: when none come
// for this long the reopen has failed (a device still held, a driver that
// accepts the connection but never streams) and the retries go on.
constexpr int kReopenTicks = 5;

bool g_lost;
// Whether silence now means a loss, and after how many quiet ticks.
bool g_expectFrames;
int g_quietLimit;
uint32_t g_lastPasses;
int g_stillTicks;

PlatformWindow* MainWindow() { return g_tracker.mainWindow.load(std::memory_order_acquire); }

// Every analysed frame is a pass of one kind or the other; only a change
// matters, so the wrapping sum is enough.
uint32_t Passes() {
    return (g_tracker.viewWatch.load(std::memory_order_relaxed) >> 8) +
           g_tracker.trackingPasses.load(std::memory_order_relaxed);
}

// A camera opened by choice has to deliver before its silence means
// anything: one that never connects is left alone, as at start.
void WatchFrames(bool expectFrames, int quietLimit) {
    g_expectFrames = expectFrames;
    g_quietLimit = quietLimit;
    g_lastPasses = Passes();
    g_stillTicks = 0;
}

// One-shot; setting it again moves it.
void Arm() { PlatformStartCaptureWatchTimer(MainWindow(), kWatchMs); }

void WatchForStall() {
    const uint32_t passes = Passes();
    if (passes != g_lastPasses) {
        WatchFrames(true, kStallTicks);
    } else if (g_expectFrames && ++g_stillTicks >= g_quietLimit) {
        OnCaptureLost();
    }
}

}  // namespace

void StartCaptureWatch() {
    if (g_tracker.closed || !TestStatus(kGraphReady)) return;
    WatchFrames(false, kStallTicks);
    Arm();
}

void OnCaptureLost() {
    if (g_lost || g_tracker.closed || !TestStatus(kGraphReady)) return;
    g_lost = true;
    // The dialog works on the source's controls, which go with it.
    PlatformSettingsDialogClose();
    PlatformCaptureDropSource();
    // The first retry a whole second after the loss.
    Arm();
}

void OnCaptureRetry() {
    if (!g_lost || g_tracker.closed) return;
    FollowCurrentCamera();
    if (!PlatformCaptureReopenSource()) return;
    g_lost = false;
    WatchFrames(true, kReopenTicks);
}

void OnCaptureWatchTimer() {
    if (g_tracker.closed) return;
    if (g_lost) {
        OnCaptureRetry();
    } else {
        WatchForStall();
    }
    Arm();
}

bool CaptureIsLost() { return g_lost; }

void EndCaptureRecovery() {
    g_lost = false;
    PlatformKillCaptureWatchTimer(MainWindow());
}
