// The monitor the laser maps onto, as both platforms keep it: the
// operator's wish from the command line, and the last monitor taken for
// it, which the worker's pointer moves read.
#pragma once

#include <string>
#include <vector>

#include "platform/monitor_choice.h"

// From the command line, before the window exists: empty for the primary.
void SetWantedMonitor(const std::string& wanted);
// The wanted monitor among those listed now; says once on standard error
// when it is not there (the default is chosen instead).
MonitorChoice ChooseTargetMonitor(const std::vector<MonitorEntry>& monitors);
// UI thread: the target just taken.
void PublishTargetMonitor(const MonitorRect& rect);
// UI thread: the smallest rectangle around all monitors, taken with the
// target.
void PublishDesktopBounds(const MonitorRect& rect);
MonitorRect DesktopBounds();
// The last target published; any thread. A read that meets a change half
// way gives one move on a mix of old and new.
MonitorRect TargetMonitor();
