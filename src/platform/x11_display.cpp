#include "platform/x11_display.h"

#include <atomic>
#include <mutex>

namespace {

Display* g_ui = nullptr;
Display* g_worker = nullptr;
std::once_flag g_workerOnce;
std::atomic<int> g_errors{0};

int CountError(Display*, XErrorEvent*) {
    g_errors.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

}  // namespace

Display* UiDisplay() {
    if (g_ui == nullptr) g_ui = XOpenDisplay(nullptr);
    return g_ui;
}

Display* WorkerDisplay() {
    std::call_once(g_workerOnce, [] { g_worker = XOpenDisplay(nullptr); });
    return g_worker;
}

int X11ErrorCount() { return g_errors.load(std::memory_order_relaxed); }

void InstallX11ErrorHandler() { XSetErrorHandler(CountError); }

std::vector<unsigned long> WindowProperty32(Display* d, Window w, Atom property, Atom type) {
    std::vector<unsigned long> result;
    Atom actual;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 1024, False, type, &actual, &format, &count, &after, &data) ==
            Success &&
        data != nullptr) {
        if (format == 32 && (type == AnyPropertyType || actual == type)) {
            const auto* items = reinterpret_cast<const unsigned long*>(data);
            result.assign(items, items + count);
        }
        XFree(data);
    }
    return result;
}
