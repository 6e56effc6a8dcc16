// The target monitor on X11: chosen among RandR's monitors, followed
// through screen changes, and where XTest moves land.
#pragma once

#include <X11/Xlib.h>

#include "platform/target_monitor.h"

// Asks the server (UI connection) for its monitors now, picks the target
// and publishes it, with the bounds of all monitors.
MonitorRect TakeTargetMonitor(Display* d);
// Selects screen-change events on the root window of the UI connection.
void WatchScreenChanges(Display* d);
// True if the event was a screen change; Xlib's view of the screen is then
// up to date, and the caller takes the geometry again.
bool HandleScreenChangeEvent(XEvent* event);
