#include "platform/monitor_choice.h"

#include <algorithm>

namespace {

constexpr int64_t kAbsoluteSteps = 65536;

// A whole decimal number without sign or leading zero; 0 for anything else.
int64_t PositiveNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 || text[0] == '0') return 0;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

int DefaultIndex(const std::vector<MonitorEntry>& monitors) {
    for (size_t i = 0; i < monitors.size(); ++i) {
        if (monitors[i].primary) return static_cast<int>(i);
    }
    return 0;
}

}  // namespace

MonitorChoice ChooseMonitor(const std::vector<MonitorEntry>& monitors, const std::string& wanted) {
    if (monitors.empty()) return {-1, !wanted.empty()};
    if (wanted.empty()) return {DefaultIndex(monitors), false};
    const int64_t number = PositiveNumber(wanted);
    if (number >= 1 && number <= static_cast<int64_t>(monitors.size())) return {static_cast<int>(number - 1), false};
    for (size_t i = 0; i < monitors.size(); ++i) {
        const std::vector<std::string>& names = monitors[i].names;
        if (std::find(names.begin(), names.end(), wanted) != names.end()) return {static_cast<int>(i), false};
    }
    return {DefaultIndex(monitors), true};
}

int32_t AbsoluteToPixel(int32_t absolute, int32_t origin, int32_t size) {
    return static_cast<int32_t>(origin + int64_t{absolute} * size / kAbsoluteSteps);
}

int32_t VirtualDesktopPosition(int32_t pixel, int32_t desktopOrigin, int32_t desktopSize) {
    if (desktopSize < 1) return 0;
    // A quarter into the pixel: truncating the scaled position gives the
    // pixel itself, and so does rounding the slightly larger 65535 scale.
    const int64_t offset = int64_t{pixel} - desktopOrigin;
    const int64_t position = ((4 * offset + 1) * kAbsoluteSteps) / (4 * int64_t{desktopSize});
    return static_cast<int32_t>(std::clamp<int64_t>(position, 0, kAbsoluteSteps - 1));
}

MonitorRect MonitorBounds(const std::vector<MonitorEntry>& monitors) {
    if (monitors.empty()) return {0, 0, 0, 0};
    int64_t left = monitors[0].rect.left, top = monitors[0].rect.top;
    int64_t right = left + monitors[0].rect.width, bottom = top + monitors[0].rect.height;
    for (const MonitorEntry& m : monitors) {
        left = std::min<int64_t>(left, m.rect.left);
        top = std::min<int64_t>(top, m.rect.top);
        right = std::max<int64_t>(right, int64_t{m.rect.left} + m.rect.width);
        bottom = std::max<int64_t>(bottom, int64_t{m.rect.top} + m.rect.height);
    }
    return {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right - left),
            static_cast<int32_t>(bottom - top)};
}

int32_t DeviceAxisValue(int32_t pixel, int32_t origin, int32_t size, int32_t previous) {
    if (size < 1) return 0;
    const int64_t p = std::clamp<int64_t>(int64_t{pixel} - origin, 0, size - 1);
    // Pixel p takes the values v with p <= v * size / 65536 < p + 1; a box
    // wider than the axis has pixels without one, which get the next value.
    const int64_t first = std::min((p * kAbsoluteSteps + size - 1) / size, kAbsoluteSteps - 1);
    const int64_t last = std::max(first, ((p + 1) * kAbsoluteSteps + size - 1) / size - 1);
    const int64_t middle = (first + last) / 2;
    if (middle != previous) return static_cast<int32_t>(middle);
    return static_cast<int32_t>(middle < last ? middle + 1 : middle > first ? middle - 1 : middle);
}
