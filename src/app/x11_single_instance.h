// One copy per X display: the first to own the program's selection runs,
// atomically; the others find its console through the owner.
#pragma once

#include <X11/Xlib.h>

// Claims the selection; 0 when this copy now owns it, else the running
// copy's console (waiting a little while it is still being created), or 0
// with *gaveUp when it never appeared.
Window ClaimSingleInstance(Display* d, bool* gaveUp);
// After the console is created: tells later copies which window it is.
void PublishConsole(Display* d, Window console);
