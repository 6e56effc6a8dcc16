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

// The deferred quit's and the exposure assistant's.
constexpr int kMaxTimers = 2;
struct Timer {
    void (*fire)() = nullptr;
    Clock::time_point due;
} g_timers[kMaxTimers];

void Dispatch(XEvent* event) {
    for (X11EventHandler handler : g_handlers) {
        if (handler != nullptr && handler(event)) return;
    }
}

// Milliseconds until the first timer is due (at least 1), or -1 with none
// armed.
int TimerWaitMs() {
    int wait = -1;
    for (const Timer& timer : g_timers) {
        if (timer.fire == nullptr) continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(timer.due - Clock::now()).count();
        const int ms = left < 1 ? 1 : static_cast<int>(left) + 1;
        if (wait < 0 || ms < wait) wait = ms;
    }
    return wait;
}

void FireTimersIfDue() {
    for (Timer& timer : g_timers) {
        if (timer.fire == nullptr || Clock::now() < timer.due) continue;
        void (*const fire)() = timer.fire;
        timer.fire = nullptr;
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
    Timer* slot = nullptr;
    for (Timer& timer : g_timers) {
        if (timer.fire == fire) slot = &timer;
    }
    for (Timer& timer : g_timers) {
        if (slot == nullptr && timer.fire == nullptr) slot = &timer;
    }
    if (slot == nullptr) return;
    slot->due = Clock::now() + std::chrono::milliseconds(milliseconds);
    slot->fire = fire;
}

void StopX11LoopTimer(void (*fire)()) {
    for (Timer& timer : g_timers) {
        if (timer.fire == fire) timer.fire = nullptr;
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
