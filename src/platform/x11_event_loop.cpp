#include "platform/x11_event_loop.h"

#include <poll.h>

#include <atomic>
#include <chrono>

#include "platform/x11_display.h"

namespace {

using Clock = std::chrono::steady_clock;

// The console's and the settings dialog's, with room to spare.
constexpr int kMaxHandlers = 4;
X11EventHandler g_handlers[kMaxHandlers] = {};

int g_watchedFd = -1;
bool (*g_watchedAct)() = nullptr;

std::atomic<bool> g_quit{false};
void (*g_timerFire)() = nullptr;
Clock::time_point g_timerDue;

void Dispatch(XEvent* event) {
    for (X11EventHandler handler : g_handlers) {
        if (handler != nullptr && handler(event)) return;
    }
}

// Milliseconds until the timer is due (at least 1), or -1 with none armed.
int TimerWaitMs() {
    if (g_timerFire == nullptr) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(g_timerDue - Clock::now()).count();
    return left < 1 ? 1 : static_cast<int>(left) + 1;
}

void FireTimerIfDue() {
    if (g_timerFire == nullptr || Clock::now() < g_timerDue) return;
    void (*const fire)() = g_timerFire;
    g_timerFire = nullptr;
    fire();
}

bool Finished(bool (*done)()) { return g_quit.load(std::memory_order_relaxed) || (done != nullptr && done()); }

}  // namespace

void AddX11EventHandler(X11EventHandler handler) {
    for (X11EventHandler& slot : g_handlers) {
        if (slot == handler) return;
    }
    for (X11EventHandler& slot : g_handlers) {
        if (slot == nullptr) {
            slot = handler;
            return;
        }
    }
}

void RemoveX11EventHandler(X11EventHandler handler) {
    for (X11EventHandler& slot : g_handlers) {
        if (slot == handler) slot = nullptr;
    }
}

void WatchX11LoopDescriptor(int fd, bool (*act)()) {
    g_watchedFd = fd;
    g_watchedAct = act;
}

void StartX11LoopTimer(int milliseconds, void (*fire)()) {
    g_timerDue = Clock::now() + std::chrono::milliseconds(milliseconds);
    g_timerFire = fire;
}

void StopX11LoopTimer() { g_timerFire = nullptr; }

void PostX11LoopQuit() { g_quit.store(true, std::memory_order_relaxed); }

void RunEventLoopUntil(bool (*done)()) {
    Display* const d = UiDisplay();
    pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {g_watchedFd, POLLIN, 0}};
    while (!Finished(done)) {
        if (g_watchedAct != nullptr && g_watchedAct()) continue;
        if (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            Dispatch(&event);
            continue;
        }
        FireTimerIfDue();
        if (Finished(done)) break;
        poll(fds, 2, TimerWaitMs());
    }
}
