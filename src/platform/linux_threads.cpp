// Threads and the auto-reset Frame ready event on Linux. The event is one
// atomic word and a futex: signalling from the streaming thread takes no lock.
#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "state/platform.h"

struct PlatformEvent {
    std::atomic<int32_t> signalled{0};
};

namespace {

// NOTE: std::atomic<int32_t> is a plain 32-bit word on Linux, which is what
// the futex calls expect.
long Futex(std::atomic<int32_t>* word, int op, int32_t value) {
    return syscall(SYS_futex, reinterpret_cast<int32_t*>(word), op, value, nullptr, nullptr, 0);
}

void* ThreadTrampoline(void* body) {
    reinterpret_cast<void (*)()>(body)();
    return nullptr;
}

}  // namespace

PlatformEvent* PlatformCreateEvent() { return new PlatformEvent; }

void PlatformSignalEvent(PlatformEvent* event) {
    if (event->signalled.exchange(1, std::memory_order_release) == 0) {
        Futex(&event->signalled, FUTEX_WAKE_PRIVATE, 1);
    }
}

void PlatformWaitEvent(PlatformEvent* event) {
    while (event->signalled.exchange(0, std::memory_order_acquire) == 0) {
        Futex(&event->signalled, FUTEX_WAIT_PRIVATE, 0);
    }
}

void PlatformCloseEvent(PlatformEvent* event) { delete event; }

bool PlatformStartThread(void (*body)()) {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, ThreadTrampoline, reinterpret_cast<void*>(body)) != 0) return false;
    pthread_detach(thread);
    return true;
}

void PlatformSleepMs(int milliseconds) {
    timespec t{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}
