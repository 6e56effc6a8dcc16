// Key state and pointer injection on Windows.
#include <windows.h>

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

void PlatformInjectAbsoluteMove(int32_t dx, int32_t dy) {
    mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, static_cast<DWORD>(dx), static_cast<DWORD>(dy), 0, 0);
}
