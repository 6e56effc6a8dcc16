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
