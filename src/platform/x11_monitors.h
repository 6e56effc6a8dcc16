// The target monitor on X11: chosen among RandR's monitors, followed
// through screen changes, and where XTest moves land.
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "platform/monitor_choice.h"

// From the command line, before the window exists: empty for the primary.
void SetWantedMonitor(const std::string& wanted);
// Asks the server (UI connection) for its monitors now and picks the
// target; says once on standard error when the wanted one is unknown.
MonitorRect TakeTargetMonitor(Display* d);
// The last target taken; any thread.
MonitorRect TargetMonitor();
// Selects screen-change events on the root window of the UI connection.
void WatchScreenChanges(Display* d);
// True if the event was a screen change; Xlib's view of the screen is then
// up to date, and the caller takes the geometry again.
bool HandleScreenChangeEvent(XEvent* event);
