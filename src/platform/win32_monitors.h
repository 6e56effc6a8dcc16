// The target monitor on Windows: chosen among the display monitors and
// where injected moves land.
#pragma once

#include "platform/target_monitor.h"

// Enumerates the monitors now, picks the target and publishes it.
MonitorRect TakeTargetMonitor();
// One absolute move (0..65535 across the target monitor); any thread.
void InjectOnTargetMonitor(int32_t dx, int32_t dy);
