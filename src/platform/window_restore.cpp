#include "platform/window_restore.h"

#include "state/platform.h"

void RestoreMainWindow() {
    // With no window (none found, or gone) there is nothing to restore.
    PlatformWindow* const window = g_tracker.mainWindow.load(std::memory_order_acquire);
    if (window != nullptr) PlatformRestoreWindow(window);
}

void RestoreOnF12() {
    if (!PlatformIsKeyDown(kKeyF12)) return;
    StoreMode(kModePreview);
    RestoreMainWindow();
}
