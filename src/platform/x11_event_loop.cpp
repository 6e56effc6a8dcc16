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

struct Timer {
    void (*fire)();
    Clock::time_point due;
};
// The deferred quit, the console's minimise fallback, the exposure
// assistant's step and the camera's reopening, with room to spare.
constexpr int kMaxTimers = 8;
Timer g_timers[kMaxTimers] = {};

void Dispatch(XEvent* event) {
    for (X11EventHandler handler : g_handlers) {
        if (handler != nullptr && handler(event)) return;
    }
}

// Milliseconds until the next timer is due (at least 1), or -1 with none
// armed.
int TimerWaitMs() {
    const Clock::time_point now = Clock::now();
    int wait = -1;
    for (const Timer& t : g_timers) {
        if (t.fire == nullptr) continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t.due - now).count();
        const int ms = left < 1 ? 1 : static_cast<int>(left) + 1;
        if (wait < 0 || ms < wait) wait = ms;
    }
    return wait;
}

void FireTimersIfDue() {
    for (Timer& t : g_timers) {
        if (t.fire == nullptr || Clock::now() < t.due) continue;
        void (*const fire)() = t.fire;
        t.fire = nullptr;
        fire();
    }
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
    const Clock::time_point due = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (Timer& t : g_timers) {
        if (t.fire == fire) {
            t.due = due;
            return;
        }
    }
    for (Timer& t : g_timers) {
        if (t.fire == nullptr) {
            t = {fire, due};
            return;
        }
    }
}

void StopX11LoopTimer(void (*fire)()) {
    for (Timer& t : g_timers) {
        if (t.fire == fire) t.fire = nullptr;
    }
}

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
        FireTimersIfDue();
        if (Finished(done)) break;
        poll(fds, 2, TimerWaitMs());
    }
}
