// Input on X11: the global F12 and mouse-button state, and absolute pointer
// moves through XTest, all on the worker's own display connection; or the
// moves through the uinput device, where one was made.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdint>

#include "platform/x11_display.h"
#include "platform/x11_monitors.h"
#include "state/platform.h"
#include "tracking/linux_uinput_pointer.h"

namespace {

// The values last sent to the device; worker thread only.
int32_t g_deviceX = -1, g_deviceY = -1;

// The device spans the box around all monitors, wherever the target sits.
void MoveDevicePointer(int fd, int32_t pixelX, int32_t pixelY) {
    const MonitorRect box = DesktopBounds();
    g_deviceX = DeviceAxisValue(pixelX, box.left, box.width, g_deviceX);
    g_deviceY = DeviceAxisValue(pixelY, box.top, box.height, g_deviceY);
    WriteUinputMove(fd, g_deviceX, g_deviceY);
}

}  // namespace

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
    // The pixel of the target monitor that the 0..65535 coordinate names,
    // as on Windows; the monitor may sit anywhere on the X screen.
    const MonitorRect target = TargetMonitor();
    const int32_t pixelX = AbsoluteToPixel(x, target.left, target.width);
    const int32_t pixelY = AbsoluteToPixel(y, target.top, target.height);
    const int device = UinputPointer();
    if (device >= 0) {
        MoveDevicePointer(device, pixelX, pixelY);
        return;
    }
    Display* const d = WorkerDisplay();
    if (d == nullptr) return;
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
