#include "app/x11_window_state.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <vector>

#include "app/main_window.h"
#include "platform/x11_display.h"
#include "platform/x11_event_loop.h"
#include "state/tracker_state.h"

namespace {

Display* g_display = nullptr;
Window g_console = 0;
// The window manager reported the console minimised (its notice is what
// starts tracking).
bool g_iconic = false;
// With no window manager, the console withdrew itself to start tracking.
bool g_withdrawn = false;
// The window manager's check window, whose end says the manager is gone.
Window g_managerCheck = 0;
// How long a window manager has to iconify the console after a minimise
// request; a tiling one never does. One that offers to minimise the window
// means to, and gets longer on a loaded machine before the console stops
// waiting for it.
constexpr int kIconifyGraceMs = 500;
constexpr int kOfferedIconifyGraceMs = 5000;

Atom Intern(const char* name) { return XInternAtom(g_display, name, False); }

// An EWMH window manager: the root names a check window that names itself.
Window ManagerCheckWindow() {
    const Atom check = Intern("_NET_SUPPORTING_WM_CHECK");
    const std::vector<unsigned long> root = WindowProperty32(g_display, DefaultRootWindow(g_display), check);
    if (root.empty() || root[0] == 0) return 0;
    const std::vector<unsigned long> self = WindowProperty32(g_display, root[0], check);
    return !self.empty() && self[0] == root[0] ? root[0] : 0;
}

// ICCCM WM_STATE: 1 normal, 3 iconic; -1 when the manager set none.
long ConsoleState() {
    const std::vector<unsigned long> state = WindowProperty32(g_display, g_console, Intern("WM_STATE"));
    return state.empty() ? -1 : static_cast<long>(state[0]);
}

// Hidden because another virtual desktop is shown, not because the
// operator minimised it.
bool OnAnotherDesktop() {
    const std::vector<unsigned long> mine = WindowProperty32(g_display, g_console, Intern("_NET_WM_DESKTOP"));
    const std::vector<unsigned long> shown =
        WindowProperty32(g_display, DefaultRootWindow(g_display), Intern("_NET_CURRENT_DESKTOP"));
    if (mine.empty() || shown.empty() || mine[0] == 0xFFFFFFFFul) return false;
    return mine[0] != shown[0];
}

// The manager lists minimising among the console's allowed actions.
bool ManagerOffersMinimize() {
    const Atom minimize = Intern("_NET_WM_ACTION_MINIMIZE");
    for (unsigned long action : WindowProperty32(g_display, g_console, Intern("_NET_WM_ALLOWED_ACTIONS"), XA_ATOM)) {
        if (action == minimize) return true;
    }
    return false;
}

bool Viewable() {
    XWindowAttributes attributes;
    return XGetWindowAttributes(g_display, g_console, &attributes) != 0 && attributes.map_state == IsViewable;
}

// No window manager to iconify it: the console takes itself off the screen.
// The state a departed manager left behind must not hide it when it comes
// back under a new one.
void Withdraw() {
    g_withdrawn = true;
    XDeleteProperty(g_display, g_console, Intern("_NET_WM_STATE"));
    XDeleteProperty(g_display, g_console, Intern("WM_STATE"));
    XUnmapWindow(g_display, g_console);
    XFlush(g_display);
}

// The grace after a minimise request is over: a manager that has neither
// iconified nor unmapped the console will not, so it withdraws itself.
void OnIconifyOverdue() {
    if (g_iconic || g_withdrawn || LoadMode() == kModeTracking || !Viewable() || ConsoleState() == IconicState) {
        return;
    }
    Withdraw();
    OnMinimized();
}

void OnManagerStateChange() {
    // Withdrawn by the program itself: a manager's late iconify is not a
    // second start of tracking, nor its late normal state a restore.
    if (g_withdrawn) return;
    const long state = ConsoleState();
    if (state == IconicState && !g_iconic) {
        if (OnAnotherDesktop()) return;
        // The request is answered; a restore within the grace must not be
        // taken for a manager that ignored it.
        StopX11LoopTimer(OnIconifyOverdue);
        g_iconic = true;
        OnMinimized();
    } else if (state == NormalState && g_iconic) {
        g_iconic = false;
        OnRestored();
    }
}

// A minimise request, which only a window manager would otherwise act on.
void OnChangeStateRequest(const XClientMessageEvent& message) {
    if (message.data.l[0] != IconicState || g_withdrawn) return;
    if (ManagerCheckWindow() != 0) {
        if (!g_iconic) {
            StartX11LoopTimer(ManagerOffersMinimize() ? kOfferedIconifyGraceMs : kIconifyGraceMs, OnIconifyOverdue);
        }
        return;
    }
    Withdraw();
    OnMinimized();
}

// A window manager came, went or restarted: the console is shown exactly
// when the program is not tracking, whoever manages it now.
void Reconcile() {
    StopX11LoopTimer(OnIconifyOverdue);
    g_managerCheck = ManagerCheckWindow();
    const bool tracking = LoadMode() == kModeTracking;
    if (g_managerCheck == 0) {
        g_iconic = false;
        if (tracking && !g_withdrawn) Withdraw();
        if (!tracking && !Viewable()) {
            XDeleteProperty(g_display, g_console, Intern("_NET_WM_STATE"));
            XMapRaised(g_display, g_console);
        }
    } else if (!g_withdrawn) {
        const bool iconic = ConsoleState() == IconicState;
        if (tracking && !iconic) {
            g_iconic = true;
            XIconifyWindow(g_display, g_console, DefaultScreen(g_display));
        } else if (!tracking && iconic) {
            g_iconic = false;
            XMapRaised(g_display, g_console);
        }
    }
    XFlush(g_display);
}

}  // namespace

void MoveToCurrentDesktop(Display* d, Window w) {
    const std::vector<unsigned long> shown =
        WindowProperty32(d, DefaultRootWindow(d), XInternAtom(d, "_NET_CURRENT_DESKTOP", False));
    if (shown.empty()) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = XInternAtom(d, "_NET_WM_DESKTOP", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(shown[0]);
    event.xclient.data.l[1] = 2;  // from a pager
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

void WatchWindowState(Display* d, Window console) {
    g_display = d;
    g_console = console;
    // Minimise requests go to the root window; so do the manager's check
    // window's end and the root's own property changes.
    XWindowAttributes root;
    XGetWindowAttributes(d, DefaultRootWindow(d), &root);
    XSelectInput(d, DefaultRootWindow(d), root.your_event_mask | SubstructureNotifyMask | PropertyChangeMask);
    g_managerCheck = ManagerCheckWindow();
}

bool HandleWindowStateEvent(XEvent* event) {
    if (g_console == 0) return false;
    const Window root = DefaultRootWindow(g_display);
    switch (event->type) {
        case PropertyNotify:
            if (event->xproperty.window == g_console && event->xproperty.atom == Intern("WM_STATE")) {
                OnManagerStateChange();
                return true;
            }
            if (event->xproperty.window == root && event->xproperty.atom == Intern("_NET_SUPPORTING_WM_CHECK")) {
                Reconcile();
                return true;
            }
            return false;
        case ClientMessage:
            if (event->xclient.window != g_console || event->xclient.message_type != Intern("WM_CHANGE_STATE")) {
                return false;
            }
            OnChangeStateRequest(event->xclient);
            return true;
        case MapNotify:
            // Mapped again after withdrawing itself: F12 or a restore. A map
            // by a departing manager's server clean-up that the withdrawal
            // has already undone is not one.
            if (event->xmap.window != g_console || event->xmap.event != g_console) return false;
            if (g_withdrawn && Viewable()) {
                g_withdrawn = false;
                OnRestored();
            }
            return true;
        case ReparentNotify:
            if (event->xreparent.window != g_console || event->xreparent.event != g_console) return false;
            Reconcile();
            return true;
        case DestroyNotify:
            if (g_managerCheck == 0 || event->xdestroywindow.window != g_managerCheck) return false;
            Reconcile();
            return true;
        default:
            return false;
    }
}
