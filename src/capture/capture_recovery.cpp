#include "capture/capture_recovery.h"

#include "state/platform.h"
#include "state/tracker_state.h"

namespace {

constexpr int kRetryMs = 1000;

bool g_lost;

PlatformWindow* MainWindow() { return g_tracker.mainWindow.load(std::memory_order_acquire); }

}  // namespace

void OnCaptureLost() {
    if (g_lost || g_tracker.closed || !TestStatus(kGraphReady)) return;
    g_lost = true;
    // The dialog works on the source's controls, which go with it.
    PlatformSettingsDialogClose();
    PlatformCaptureDropSource();
    PlatformStartCaptureRetryTimer(MainWindow(), kRetryMs);
}

void OnCaptureRetry() {
    if (!g_lost || g_tracker.closed) return;
    PlatformKillCaptureRetryTimer(MainWindow());
    if (PlatformCaptureReopenSource()) {
        g_lost = false;
        return;
    }
    PlatformStartCaptureRetryTimer(MainWindow(), kRetryMs);
}

bool CaptureIsLost() { return g_lost; }

void EndCaptureRecovery() {
    if (!g_lost) return;
    g_lost = false;
    PlatformKillCaptureRetryTimer(MainWindow());
}
