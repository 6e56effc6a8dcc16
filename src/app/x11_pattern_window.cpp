// The calibration pattern on X11: an override-redirect window over the
// target monitor. No window manager places, decorates or focuses it, and it
// selects no input, so the keyboard stays where it was.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "analysis/auto_calibration.h"
#include "platform/x11_display.h"
#include "platform/x11_event_loop.h"
#include "state/platform.h"

namespace {

Window g_pattern = 0;
// The name a test or a screen reader finds it by; the console's title is
// the single-instance key and stays unique.
constexpr const char* kPatternName = "Lumidart calibration";

unsigned long GreyPixel(Display* d, int32_t grey) {
    XColor color{};
    color.red = color.green = color.blue = static_cast<unsigned short>(grey * 257);
    color.flags = DoRed | DoGreen | DoBlue;
    const Colormap map = DefaultColormap(d, DefaultScreen(d));
    if (XAllocColor(d, map, &color) != 0) return color.pixel;
    return grey < 128 ? BlackPixel(d, DefaultScreen(d)) : WhitePixel(d, DefaultScreen(d));
}

}  // namespace

void PlatformShowPattern(const PlatformScreenMetrics& monitor, int32_t grey) {
    Display* const d = UiDisplay();
    if (g_pattern == 0) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = BlackPixel(d, DefaultScreen(d));
        g_pattern = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWOverrideRedirect | CWBackPixel, &attributes);
        XStoreName(d, g_pattern, kPatternName);
    }
    XMoveResizeWindow(d, g_pattern, monitor.screenLeft, monitor.screenTop, static_cast<unsigned>(monitor.screenWidth),
                      static_cast<unsigned>(monitor.screenHeight));
    XSetWindowBackground(d, g_pattern, GreyPixel(d, grey));
    XMapRaised(d, g_pattern);
    XClearWindow(d, g_pattern);
    XFlush(d);
}

void PlatformHidePattern() {
    if (g_pattern == 0) return;
    Display* const d = UiDisplay();
    XUnmapWindow(d, g_pattern);
    XFlush(d);
}

void PlatformStartCalibrationTimer(PlatformWindow*, int milliseconds) {
    StartX11LoopTimer(milliseconds, OnCalibrationTimer);
}

void PlatformKillCalibrationTimer(PlatformWindow*) { StopX11LoopTimer(OnCalibrationTimer); }
