#include "platform/x11_monitors.h"

#include <X11/extensions/Xrandr.h>

#include <string>
#include <vector>

namespace {

int g_eventBase = -1;

std::string AtomName(Display* d, Atom atom) {
    char* name = atom == None ? nullptr : XGetAtomName(d, atom);
    if (name == nullptr) return std::string();
    std::string result = name;
    XFree(name);
    return result;
}

// RandR's monitors in the server's order, named by the monitor and by each
// of its outputs.
std::vector<MonitorEntry> ListMonitors(Display* d) {
    std::vector<MonitorEntry> list;
    int eventBase, errorBase;
    if (!XRRQueryExtension(d, &eventBase, &errorBase)) return list;
    int major = 0, minor = 0;
    if (!XRRQueryVersion(d, &major, &minor) || major * 100 + minor < 105) return list;
    const Window root = DefaultRootWindow(d);
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(d, root, True, &count);
    if (monitors == nullptr) return list;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(d, root);
    for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo& m = monitors[i];
        MonitorEntry entry{{AtomName(d, m.name)}, {m.x, m.y, m.width, m.height}, m.primary != 0};
        for (int o = 0; resources != nullptr && o < m.noutput; ++o) {
            XRROutputInfo* output = XRRGetOutputInfo(d, resources, m.outputs[o]);
            if (output == nullptr) continue;
            entry.names.emplace_back(output->name, static_cast<size_t>(output->nameLen));
            XRRFreeOutputInfo(output);
        }
        if (entry.rect.width > 0 && entry.rect.height > 0) list.push_back(entry);
    }
    if (resources != nullptr) XRRFreeScreenResources(resources);
    XRRFreeMonitors(monitors);
    return list;
}

}  // namespace

MonitorRect TakeTargetMonitor(Display* d) {
    const std::vector<MonitorEntry> monitors = ListMonitors(d);
    const MonitorChoice choice = ChooseTargetMonitor(monitors);
    // Without RandR's monitors the whole screen is the one monitor.
    const int screen = DefaultScreen(d);
    const MonitorRect rect = choice.index >= 0 ? monitors[static_cast<size_t>(choice.index)].rect
                                               : MonitorRect{0, 0, DisplayWidth(d, screen), DisplayHeight(d, screen)};
    PublishTargetMonitor(rect);
    // Where an absolute pointer device's range lies: around all monitors.
    PublishDesktopBounds(monitors.empty() ? rect : MonitorBounds(monitors));
    return rect;
}

void WatchScreenChanges(Display* d) {
    int errorBase;
    if (!XRRQueryExtension(d, &g_eventBase, &errorBase)) {
        g_eventBase = -1;
        return;
    }
    XRRSelectInput(d, DefaultRootWindow(d),
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
}

bool HandleScreenChangeEvent(XEvent* event) {
    if (g_eventBase < 0) return false;
    if (event->type != g_eventBase + RRScreenChangeNotify && event->type != g_eventBase + RRNotify) return false;
    // Keeps DisplayWidth and DisplayHeight of this connection true.
    XRRUpdateConfiguration(event);
    return true;
}
