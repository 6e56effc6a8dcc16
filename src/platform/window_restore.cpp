#include "platform/window_restore.h"

#include "state/platform.h"

void RestoreMainWindow() {
    // With no window (none found, or gone) there is nothing to restore.
    PlatformWindow* const window = g_tracker.mainWindow.load(std::memory_order_acquire);
    if (window != nullptr) PlatformRestoreWindow(window);
}

void RestoreOnF12() {
    if (!PlatformIsKeyDown(kKeyF12)) return;
    // The worker and the UI thread both poll: only the one that ends
    // tracking restores, so a held key acts once.
    int32_t tracking = kModeTracking;
    if (!g_tracker.mode.compare_exchange_strong(tracking, kModePreview, std::memory_order_acq_rel)) return;
    RestoreMainWindow();
}
