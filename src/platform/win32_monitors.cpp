#include "platform/win32_monitors.h"

#include <windows.h>

#include <atomic>
#include <vector>

namespace {

// Written by the UI thread, read by the worker's moves.
std::atomic<bool> g_onPrimary{true};

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(monitor, &info)) return TRUE;
    const RECT& r = info.rcMonitor;
    const bool primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    reinterpret_cast<std::vector<MonitorEntry>*>(list)->push_back(
        {{info.szDevice}, {r.left, r.top, r.right - r.left, r.bottom - r.top}, primary});
    return TRUE;
}

}  // namespace

MonitorRect TakeTargetMonitor() {
    std::vector<MonitorEntry> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    const MonitorChoice choice = ChooseTargetMonitor(monitors);
    const bool primary = choice.index < 0 || monitors[static_cast<size_t>(choice.index)].primary;
    // The primary monitor is the screen exactly as the system metrics give it.
    const MonitorRect rect = primary ? MonitorRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}
                                      : monitors[static_cast<size_t>(choice.index)].rect;
    PublishTargetMonitor(rect);
    g_onPrimary.store(primary, std::memory_order_relaxed);
    return rect;
}

void InjectOnTargetMonitor(int32_t dx, int32_t dy) {
    if (g_onPrimary.load(std::memory_order_relaxed)) {
        mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, static_cast<DWORD>(dx), static_cast<DWORD>(dy), 0, 0);
        return;
    }
    // Another monitor: its pixel, expressed over the whole virtual desktop.
    const MonitorRect target = TargetMonitor();
    const int32_t x = AbsoluteToPixel(dx, target.left, target.width);
    const int32_t y = AbsoluteToPixel(dy, target.top, target.height);
    const int32_t nx =
        VirtualDesktopPosition(x, GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN));
    const int32_t ny =
        VirtualDesktopPosition(y, GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
    mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK, static_cast<DWORD>(nx),
                static_cast<DWORD>(ny), 0, 0);
}
