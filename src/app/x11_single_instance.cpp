#include "app/x11_single_instance.h"

#include <X11/Xatom.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/x11_display.h"

namespace {

// Owns the selection for as long as the connection lives; never mapped.
Window g_claim = 0;

constexpr int kWaitSteps = 200;  // 10 s in all
constexpr useconds_t kWaitStep = 50000;

Atom Selection(Display* d) {
    const std::string name = "_LUMIDART_CONSOLE_S" + std::to_string(DefaultScreen(d));
    return XInternAtom(d, name.c_str(), False);
}

Atom ConsoleProperty(Display* d) { return XInternAtom(d, "_LUMIDART_CONSOLE", False); }

Window PublishedConsole(Display* d, Window owner) {
    const std::vector<unsigned long> console = WindowProperty32(d, owner, ConsoleProperty(d), XA_WINDOW);
    return console.size() == 1 ? console[0] : 0;
}

}  // namespace

Window ClaimSingleInstance(Display* d, bool* gaveUp) {
    *gaveUp = false;
    const Atom selection = Selection(d);
    if (g_claim == 0) {
        g_claim = XCreateWindow(d, DefaultRootWindow(d), -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent, 0, nullptr);
    }
    for (int step = 0; step < kWaitSteps; ++step) {
        // Looking and taking under one grab: no other copy can slip between.
        XGrabServer(d);
        const Window owner = XGetSelectionOwner(d, selection);
        if (owner == None) XSetSelectionOwner(d, selection, g_claim, CurrentTime);
        XUngrabServer(d);
        XSync(d, False);
        if (owner == None) return 0;
        const Window console = PublishedConsole(d, owner);
        if (console != 0) return console;
        // The owner has not made its console yet, or has just ended.
        usleep(kWaitStep);
    }
    *gaveUp = true;
    return 0;
}

void PublishConsole(Display* d, Window console) {
    if (g_claim == 0) return;
    XChangeProperty(d, g_claim, ConsoleProperty(d), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&console), 1);
    XFlush(d);
}
