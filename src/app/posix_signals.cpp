#include "app/posix_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <initializer_list>

namespace {

std::atomic<bool> g_requested{false};
// Read end, write end; -1 until installed. Only written before the handlers
// exist.
int g_pipe[2] = {-1, -1};

static_assert(std::atomic<bool>::is_always_lock_free, "used from a signal handler");

void OnSignal(int) {
    const int saved = errno;
    g_requested.store(true, std::memory_order_release);
    const char byte = 1;
    // A full pipe wakes the loop already, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

void InstallCloseSignals() {
    if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
        // Ignored by whoever started us (nohup, a shell's background job):
        // it stays ignored.
        struct sigaction current {};
        if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        sigaction(number, &action, nullptr);
    }
}

int CloseSignalFd() { return g_pipe[0]; }

bool TakeCloseSignal() {
    // Emptied before the flag is taken: a wake-up whose flag was taken
    // earlier is consumed, never left to keep the loop spinning.
    char bytes[64];
    while (g_pipe[0] >= 0 && read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    return g_requested.exchange(false, std::memory_order_acquire);
}
