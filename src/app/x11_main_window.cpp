// The console window on X11: one top-level window whose events become the
// portable handlers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "analysis/exposure_search.h"
#include "analysis/tracking_watch.h"
#include "app/linux_pointer_choice.h"
#include "app/main_window.h"
#include "app/x11_single_instance.h"
#include "app/x11_window_state.h"
#include "platform/x11_display.h"
#include "platform/x11_event_loop.h"
#include "platform/x11_monitors.h"
#include "state/platform.h"

namespace {

PlatformWindow g_main;
// The first copy's window, found by a second copy.
PlatformWindow g_found;

Atom Intern(Display* d, const char* name) { return XInternAtom(d, name, False); }

void SetUtf8Property(Display* d, Window w, const char* property, const char* value) {
    XChangeProperty(d, w, Intern(d, property), Intern(d, "UTF8_STRING"), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(value), static_cast<int>(std::strlen(value)));
}

void SetWindowManagerHints(Display* d, Window w, int x, int y, int width, int height) {
    XSizeHints* size = XAllocSizeHints();
    size->flags = USPosition | PPosition | PMinSize | PMaxSize | PWinGravity;
    // Obsolete fields that older window managers still read.
    size->x = x;
    size->y = y;
    size->min_width = size->max_width = width;
    size->min_height = size->max_height = height;
    // The client area itself stays where we put it, whatever the frame.
    size->win_gravity = StaticGravity;
    XSetWMNormalHints(d, w, size);
    XFree(size);

    XWMHints* wm = XAllocWMHints();
    wm->flags = InputHint | StateHint;
    wm->input = True;
    wm->initial_state = NormalState;
    XSetWMHints(d, w, wm);
    XFree(wm);

    XClassHint* cls = XAllocClassHint();
    std::string name = "lumidart";
    std::string className = kWindowClassName;
    cls->res_name = name.data();
    cls->res_class = className.data();
    XSetClassHint(d, w, cls);
    XFree(cls);

    XStoreName(d, w, kWindowTitle);
    SetUtf8Property(d, w, "_NET_WM_NAME", kWindowTitle);

    Atom deleteWindow = Intern(d, "WM_DELETE_WINDOW");
    XSetWMProtocols(d, w, &deleteWindow, 1);

    // Motif hints: move, minimise and close only; no resize, no maximise.
    constexpr long kFunctions = 1L << 0, kDecorations = 1L << 1;
    constexpr long kFuncMove = 1L << 2, kFuncMinimize = 1L << 3, kFuncClose = 1L << 5;
    constexpr long kDecorBorder = 1L << 1, kDecorTitle = 1L << 3, kDecorMenu = 1L << 4, kDecorMinimize = 1L << 5;
    long motif[5] = {kFunctions | kDecorations, kFuncMove | kFuncMinimize | kFuncClose,
                     kDecorBorder | kDecorTitle | kDecorMenu | kDecorMinimize, 0, 0};
    const Atom motifAtom = Intern(d, "_MOTIF_WM_HINTS");
    XChangeProperty(d, w, motifAtom, motifAtom, 32, PropModeReplace, reinterpret_cast<unsigned char*>(motif), 5);

    long pid = static_cast<long>(getpid());
    XChangeProperty(d, w, Intern(d, "_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
}

void OnKey(XKeyEvent* key) {
    switch (XLookupKeysym(key, 0)) {
        case XK_Tab: OnKeyTab(); break;
        case XK_Escape: OnKeyEscape(); break;
        case XK_space: OnKeySpace(); break;
        case XK_c: OnKeyC(); break;
        case XK_e: OnKeyE(); break;
        case XK_a: OnKeyA(); break;
        case XK_F12: OnKeyF12(); break;
        default: break;
    }
}

// The console's share of the event loop: the screen and window-manager
// notices it watches, and its own window's events.
bool HandleConsoleEvent(XEvent* event) {
    if (HandleScreenChangeEvent(event)) {
        OnScreenChanged();
        return true;
    }
    if (HandleWindowStateEvent(event)) return true;
    if (g_main.id == 0 || event->xany.window != g_main.id) return false;
    switch (event->type) {
        case KeyPress:
            OnKey(&event->xkey);
            break;
        case ButtonPress:
            if (event->xbutton.button == Button1) {
                OnLeftButtonDown(static_cast<uint16_t>(event->xbutton.x), static_cast<uint16_t>(event->xbutton.y));
            }
            break;
        case ConfigureNotify:
            g_main.width.store(event->xconfigure.width, std::memory_order_relaxed);
            g_main.height.store(event->xconfigure.height, std::memory_order_relaxed);
            break;
        case ClientMessage:
            if (event->xclient.message_type == Intern(UiDisplay(), "WM_PROTOCOLS") &&
                static_cast<Atom>(event->xclient.data.l[0]) == Intern(UiDisplay(), "WM_DELETE_WINDOW")) {
                OnClose();
            }
            break;
        default:
            break;
    }
    return true;
}

}  // namespace

// --- Platform operations ---------------------------------------------------

void PlatformGetScreenMetrics(PlatformScreenMetrics* metrics) {
    const MonitorRect target = TakeTargetMonitor(UiDisplay());
    *metrics = {target.width, target.height, target.left, target.top};
}

PlatformWindow* PlatformFindRunningInstance() {
    bool gaveUp = false;
    const Window running = ClaimSingleInstance(UiDisplay(), &gaveUp);
    if (running == 0 && !gaveUp) return nullptr;
    // A copy that never showed its console leaves nothing to restore.
    g_found.id = running;
    return &g_found;
}

// NOTE: the window manager draws the frame outside our window: the window
// is the client area, and its rectangle is the client rectangle.
void PlatformCreateMainWindow(int32_t x, int32_t y, int32_t width, int32_t height) {
    Display* const d = UiDisplay();
    const int screen = DefaultScreen(d);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(d, screen);
    attributes.event_mask = KeyPressMask | ButtonPressMask | StructureNotifyMask | PropertyChangeMask;
    const Window w = XCreateWindow(d, RootWindow(d, screen), x, y, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWBackPixel | CWEventMask, &attributes);
    SetWindowManagerHints(d, w, x, y, width, height);
    PublishConsole(d, w);
    WatchScreenChanges(d);
    WatchWindowState(d, w);
    g_main.id = w;
    g_main.width.store(width, std::memory_order_relaxed);
    g_main.height.store(height, std::memory_order_relaxed);
    AddX11EventHandler(HandleConsoleEvent);
    // Made once, by the copy that shows a console, before its worker moves.
    StartPointer();
    OnCreate(&g_main);
    XMapWindow(d, w);
    XFlush(d);
}

void PlatformRunMessageLoop() { RunEventLoopUntil(nullptr); }

void PlatformRestoreWindow(PlatformWindow* window) {
    Display* const d = WorkerDisplay();
    if (d == nullptr || window == nullptr || window->id == 0) return;
    // Mapping an iconic window asks its manager to de-iconify it; the
    // activation request raises and focuses it. Neither waits for a reply.
    MoveToCurrentDesktop(d, window->id);
    XMapWindow(d, window->id);
    XRaiseWindow(d, window->id);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window->id;
    event.xclient.message_type = Intern(d, "_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // from a pager: not subject to focus-stealing rules
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(d);
}

void PlatformRequestMinimize(PlatformWindow* window) {
    if (window == nullptr) return;
    Display* const d = UiDisplay();
    XIconifyWindow(d, window->id, DefaultScreen(d));
    XFlush(d);
}

bool PlatformGetClientArea(PlatformWindow* window, PlatformRect* rect) {
    Display* const d = WorkerDisplay();
    if (d == nullptr || window == nullptr) return false;
    Window child;
    int rootX, rootY;
    // One round trip a frame for the magnifier: the size comes from the
    // configure notices.
    if (XTranslateCoordinates(d, window->id, DefaultRootWindow(d), 0, 0, &rootX, &rootY, &child) == 0) return false;
    *rect = {rootX, rootY, rootX + window->width.load(std::memory_order_relaxed),
             rootY + window->height.load(std::memory_order_relaxed)};
    return true;
}

void PlatformStartDeferredQuitTimer(PlatformWindow*) { StartX11LoopTimer(1, OnDeferredQuitTimer); }

void PlatformKillDeferredQuitTimer(PlatformWindow*) { StopX11LoopTimer(OnDeferredQuitTimer); }

void PlatformStartExposureTimer(PlatformWindow*, int milliseconds) { StartX11LoopTimer(milliseconds, OnExposureTimer); }

void PlatformKillExposureTimer(PlatformWindow*) { StopX11LoopTimer(OnExposureTimer); }

void PlatformStartTrackingWatchTimer(PlatformWindow*, int milliseconds) {
    StartX11LoopTimer(milliseconds, OnTrackingWatchTimer);
}

void PlatformPostQuit() { PostX11LoopQuit(); }

// Nothing the worker does waits for this thread: it has its own connection.
void PlatformPumpWindowRequests() {}
