// Which monitor the laser maps onto, and how a pointer position on it is
// expressed for the system: pure functions over a list of monitors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MonitorRect {
    int32_t left, top, width, height;  // desktop pixels
};

struct MonitorEntry {
    // Every name the operator may use for it (monitor, output, device).
    std::vector<std::string> names;
    MonitorRect rect;
    bool primary;
};

struct MonitorChoice {
    int index;     // into the list; -1 when the list is empty
    bool unknown;  // a wanted monitor was not found: index is the default
};

// wanted: empty for the default (the primary monitor, else the first), a
// number counting from 1 in the list's order, or one of the names.
MonitorChoice ChooseMonitor(const std::vector<MonitorEntry>& monitors, const std::string& wanted);

// The pixel that an absolute position (0..65535 across the monitor) names.
int32_t AbsoluteToPixel(int32_t absolute, int32_t origin, int32_t size);
// The absolute position (0..65535 across the whole virtual desktop) that
// lands on pixel, whether the system truncates position * size / 65536 or
// rounds position * size / 65535.
int32_t VirtualDesktopPosition(int32_t pixel, int32_t desktopOrigin, int32_t desktopSize);

// The smallest rectangle holding every monitor; all zero for none.
MonitorRect MonitorBounds(const std::vector<MonitorEntry>& monitors);
// The value of an absolute device axis (0..65535) that a pointer stack
// mapping v onto v * size / 65536 over a box (origin, size) puts on pixel:
// the middle of that pixel's values. When previous already is it, another
// value of the same pixel where there is one, so that a repeated position
// is still a change and puts back a pointer moved meanwhile.
int32_t DeviceAxisValue(int32_t pixel, int32_t origin, int32_t size, int32_t previous);
