// The X11 plumbing every X11 file shares: the two display connections, the
// window object behind PlatformWindow and the error count.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>
#include <vector>

struct PlatformWindow {
    Window id = 0;
    // The size the window was last given (UI thread, from its configure
    // notices): the worker asks the server only where the window is.
    std::atomic<int32_t> width{0}, height{0};
};

// The UI thread's connection: the windows, their events and the event loop.
Display* UiDisplay();
// A second connection for the worker (input, presenting, window queries)
// and for restoring from any thread. It selects no events, so nothing it
// does can wait for the UI thread. Xlib is thread-safe (XInitThreads).
Display* WorkerDisplay();
// Counts every X error; errors are never fatal.
int X11ErrorCount();
void InstallX11ErrorHandler();

// The items of a 32-bit property (WINDOW, CARDINAL, ATOM, WM_STATE...) of
// the given type (AnyPropertyType for any); empty when it is missing, of
// another type or format, or the window is gone.
std::vector<unsigned long> WindowProperty32(Display* d, Window w, Atom property, Atom type = AnyPropertyType);
