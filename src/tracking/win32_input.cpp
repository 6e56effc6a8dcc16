// Key state and pointer injection on Windows.
#include <windows.h>

#include "platform/win32_monitors.h"
#include "state/platform.h"

bool PlatformIsKeyDown(PlatformKey key) {
    int virtualKey = VK_F12;
    switch (key) {
        case kKeyF12: virtualKey = VK_F12; break;
        case kKeyLeftButton: virtualKey = VK_LBUTTON; break;
        case kKeyMiddleButton: virtualKey = VK_MBUTTON; break;
        case kKeyRightButton: virtualKey = VK_RBUTTON; break;
    }
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

void PlatformInjectAbsoluteMove(int32_t x, int32_t y) { InjectOnTargetMonitor(x, y); }
