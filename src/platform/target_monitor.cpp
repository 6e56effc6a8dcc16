#include "platform/target_monitor.h"

#include <atomic>
#include <cstdio>

namespace {

std::string g_wanted;
bool g_toldUnknown = false;

// Written by the UI thread, read by the worker's moves.
std::atomic<int32_t> g_left{0}, g_top{0}, g_width{0}, g_height{0};
std::atomic<int32_t> g_boundsLeft{0}, g_boundsTop{0}, g_boundsWidth{0}, g_boundsHeight{0};

}  // namespace

void SetWantedMonitor(const std::string& wanted) { g_wanted = wanted; }

MonitorChoice ChooseTargetMonitor(const std::vector<MonitorEntry>& monitors) {
    const MonitorChoice choice = ChooseMonitor(monitors, g_wanted);
    if (choice.unknown && !g_toldUnknown) {
        g_toldUnknown = true;
        std::fprintf(stderr, "lumidart: no monitor \"%s\"; using the primary monitor\n", g_wanted.c_str());
    }
    return choice;
}

void PublishTargetMonitor(const MonitorRect& rect) {
    g_left.store(rect.left, std::memory_order_relaxed);
    g_top.store(rect.top, std::memory_order_relaxed);
    g_width.store(rect.width, std::memory_order_relaxed);
    g_height.store(rect.height, std::memory_order_relaxed);
}

MonitorRect TargetMonitor() {
    return {g_left.load(std::memory_order_relaxed), g_top.load(std::memory_order_relaxed),
            g_width.load(std::memory_order_relaxed), g_height.load(std::memory_order_relaxed)};
}

void PublishDesktopBounds(const MonitorRect& rect) {
    g_boundsLeft.store(rect.left, std::memory_order_relaxed);
    g_boundsTop.store(rect.top, std::memory_order_relaxed);
    g_boundsWidth.store(rect.width, std::memory_order_relaxed);
    g_boundsHeight.store(rect.height, std::memory_order_relaxed);
}

MonitorRect DesktopBounds() {
    return {g_boundsLeft.load(std::memory_order_relaxed), g_boundsTop.load(std::memory_order_relaxed),
            g_boundsWidth.load(std::memory_order_relaxed), g_boundsHeight.load(std::memory_order_relaxed)};
}
