// The console's window-manager state on X11: what counts as the operator
// minimising or restoring it, with or without a window manager (or with
// one that does not iconify, as tiling ones do not), and how it is kept
// visible exactly when the program is not tracking after a window manager
// dies, starts or restarts. UI thread only.
#pragma once

#include <X11/Xlib.h>

// After the console window is created: watch the root window for the
// window manager's comings and goings and for minimise requests.
void WatchWindowState(Display* d, Window console);
// Any thread, on its own connection: asks the window manager to put the
// console on the desktop being shown, so that a restore brings it into view.
void MoveToCurrentDesktop(Display* d, Window w);
// True if the event was one of those (or the console's own map, state and
// parent changes) and has been acted on.
bool HandleWindowStateEvent(XEvent* event);
