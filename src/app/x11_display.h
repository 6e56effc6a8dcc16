// What the X11 platform files share: the two display connections, the
// window object behind PlatformWindow and the event loop.
#pragma once

#include <X11/Xlib.h>

#include <vector>

struct PlatformWindow {
    Window id;
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

// Dispatches events (main window and settings dialog) and the deferred-quit
// timer until the quit is posted or done() is true.
void RunEventLoopUntil(bool (*done)());

// The settings dialog's share of the event loop: true if the event was its.
bool SettingsDialogHandleEvent(XEvent* event);
