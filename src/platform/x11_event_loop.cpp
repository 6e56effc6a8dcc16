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

// The close signals' and the capture bus's, with room to spare.
constexpr int kMaxWatched = 4;
struct Watched {
    int fd = -1;
    bool (*act)() = nullptr;
};
Watched g_watched[kMaxWatched];

// The deferred quit, the console's minimise fallback, the exposure
// assistant's step, and the capture's retry and F12 poll.
constexpr int kMaxTimers = 8;
struct Timer {
    void (*fire)() = nullptr;
    Clock::time_point due;
};
Timer g_timers[kMaxTimers];

std::atomic<bool> g_quit{false};

void Dispatch(XEvent* event) {
    for (X11EventHandler handler : g_handlers) {
        if (handler != nullptr && handler(event)) return;
    }
}

bool ActOnWatched() {
    for (const Watched& w : g_watched) {
        if (w.act != nullptr && w.act()) return true;
    }
    return false;
}

// Milliseconds until the next timer is due (at least 1), or -1 with none
// armed.
int TimerWaitMs() {
    int wait = -1;
    const Clock::time_point now = Clock::now();
    for (const Timer& t : g_timers) {
        if (t.fire == nullptr) continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t.due - now).count();
        const int ms = left < 1 ? 1 : static_cast<int>(left) + 1;
        if (wait < 0 || ms < wait) wait = ms;
    }
    return wait;
}

// Fires one due timer; a fired timer may arm or stop any other.
void FireTimerIfDue() {
    const Clock::time_point now = Clock::now();
    for (Timer& t : g_timers) {
        if (t.fire == nullptr || now < t.due) continue;
        void (*const fire)() = t.fire;
        t.fire = nullptr;
        fire();
        return;
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
    UnwatchX11LoopDescriptor(fd);
    for (Watched& w : g_watched) {
        if (w.act == nullptr) {
            w = Watched{fd, act};
            return;
        }
    }
}

void UnwatchX11LoopDescriptor(int fd) {
    for (Watched& w : g_watched) {
        if (w.fd == fd) w = Watched{};
    }
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
            t = Timer{fire, due};
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
    while (!Finished(done)) {
        if (ActOnWatched()) continue;
        if (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            Dispatch(&event);
            continue;
        }
        FireTimerIfDue();
        if (Finished(done)) break;
        // Taken afresh each turn: an action or a timer may watch or unwatch.
        pollfd fds[1 + kMaxWatched] = {{ConnectionNumber(d), POLLIN, 0}};
        nfds_t count = 1;
        for (const Watched& w : g_watched) {
            if (w.act != nullptr) fds[count++] = pollfd{w.fd, POLLIN, 0};
        }
        poll(fds, count, TimerWaitMs());
    }
}
