// Threads and the auto-reset Frame ready event on Windows.
#include <windows.h>

#include "state/platform.h"

namespace {

DWORD WINAPI ThreadTrampoline(LPVOID body) {
    reinterpret_cast<void (*)()>(body)();
    return 0;
}

}  // namespace

PlatformEvent* PlatformCreateEvent() {
    return reinterpret_cast<PlatformEvent*>(CreateEventA(nullptr, FALSE, FALSE, nullptr));
}

void PlatformSignalEvent(PlatformEvent* event) { SetEvent(reinterpret_cast<HANDLE>(event)); }

void PlatformWaitEvent(PlatformEvent* event) {
    WaitForSingleObject(reinterpret_cast<HANDLE>(event), INFINITE);
}

void PlatformCloseEvent(PlatformEvent* event) { CloseHandle(reinterpret_cast<HANDLE>(event)); }

bool PlatformStartThread(void (*body)()) {
    // The handle is not kept: the Worker run state is the only link to the
    // thread's end.
    const HANDLE thread = CreateThread(nullptr, 0, ThreadTrampoline, reinterpret_cast<LPVOID>(body), 0, nullptr);
    if (thread == nullptr) return false;
    CloseHandle(thread);
    return true;
}

void PlatformSleepMs(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }
