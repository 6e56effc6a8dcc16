#include "platform/target_monitor.h"

#include <atomic>
#include <cstdio>

namespace {

std::string g_wanted;
bool g_toldUnknown = false;

// Written by the UI thread, read by the worker's moves.
struct SharedRect {
    std::atomic<int32_t> left{0}, top{0}, width{0}, height{0};
};
SharedRect g_target, g_bounds;

void Store(SharedRect* shared, const MonitorRect& rect) {
    shared->left.store(rect.left, std::memory_order_relaxed);
    shared->top.store(rect.top, std::memory_order_relaxed);
    shared->width.store(rect.width, std::memory_order_relaxed);
    shared->height.store(rect.height, std::memory_order_relaxed);
}

MonitorRect Load(const SharedRect& shared) {
    return {shared.left.load(std::memory_order_relaxed), shared.top.load(std::memory_order_relaxed),
            shared.width.load(std::memory_order_relaxed), shared.height.load(std::memory_order_relaxed)};
}

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

void PublishTargetMonitor(const MonitorRect& rect) { Store(&g_target, rect); }

MonitorRect TargetMonitor() { return Load(g_target); }

void PublishDesktopBounds(const MonitorRect& rect) { Store(&g_bounds, rect); }

MonitorRect DesktopBounds() { return Load(g_bounds); }
