// Input on X11: the global F12 and mouse-button state, and absolute pointer
// moves through XTest, all on the worker's own display connection.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdint>

#include "platform/x11_display.h"
#include "platform/x11_monitors.h"
#include "state/platform.h"

bool PlatformIsKeyDown(PlatformKey key) {
    Display* const d = WorkerDisplay();
    if (d == nullptr) return false;
    if (key == kKeyF12) {
        const KeyCode code = XKeysymToKeycode(d, XK_F12);
        if (code == 0) return false;
        char keys[32];
        XQueryKeymap(d, keys);
        return ((keys[code / 8] >> (code % 8)) & 1) != 0;
    }
    const unsigned int mask = key == kKeyLeftButton ? Button1Mask : key == kKeyMiddleButton ? Button2Mask : Button3Mask;
    Window root, child;
    int rootX, rootY, x, y;
    unsigned int state = 0;
    XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rootX, &rootY, &x, &y, &state);
    return (state & mask) != 0;
}

void PlatformInjectAbsoluteMove(int32_t x, int32_t y) {
    Display* const d = WorkerDisplay();
    if (d == nullptr) return;
    // The pixel of the target monitor that the 0..65535 coordinate names,
    // as on Windows; the monitor may sit anywhere on the X screen.
    const MonitorRect target = TargetMonitor();
    const int32_t pixelX = AbsoluteToPixel(x, target.left, target.width);
    const int32_t pixelY = AbsoluteToPixel(y, target.top, target.height);
    XTestFakeMotionEvent(d, DefaultScreen(d), pixelX, pixelY, CurrentTime);
    XFlush(d);
}

bool PlatformGetCursorPos(PlatformPoint* point) {
    Display* const d = WorkerDisplay();
    if (d == nullptr) return false;
    Window root, child;
    int rootX, rootY, x, y;
    unsigned int state;
    if (XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rootX, &rootY, &x, &y, &state) == 0) return false;
    *point = {rootX, rootY};
    return true;
}
