// The target monitor on Windows: chosen among the display monitors and
// where injected moves land.
#pragma once

#include <string>

#include "platform/monitor_choice.h"

// From the command line, before the window exists: empty for the primary.
void SetWantedMonitor(const std::string& wanted);
// Enumerates the monitors now and picks the target; says once on standard
// error when the wanted one is unknown. primary tells whether it is the
// primary monitor.
MonitorRect TakeTargetMonitor(bool* primary);
// One absolute move (0..65535 across the target monitor); any thread.
void InjectOnTargetMonitor(int32_t dx, int32_t dy);
