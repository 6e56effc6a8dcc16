#include "app/x11_connection_loss.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <atomic>

#include "app/main_window.h"

namespace {

std::atomic<bool> g_lost{false};

int OnConnectionLost(Display*) {
    // Both connections may fail at once, on two threads: the first one
    // saves and ends the process; any other waits here for that end.
    if (g_lost.exchange(true, std::memory_order_acq_rel)) {
        for (;;) pause();
    }
    SaveAsCloseWould();
    // No exit-time destructors: the capture and the worker still run.
    _exit(0);
}

}  // namespace

void InstallX11ConnectionLossHandler() { XSetIOErrorHandler(OnConnectionLost); }
