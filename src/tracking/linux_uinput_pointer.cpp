#include "tracking/linux_uinput_pointer.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace {

std::atomic<int> g_device{-1};

bool Control(int fd, unsigned long request, unsigned long value) { return ioctl(fd, request, value) == 0; }

bool DeclareAxis(int fd, uint16_t code) {
    uinput_abs_setup axis{};
    axis.code = code;
    axis.absinfo.minimum = 0;
    axis.absinfo.maximum = kUinputAxisMaximum;
    return ioctl(fd, UI_ABS_SETUP, &axis) == 0;
}

bool Declare(int fd) {
    if (!Control(fd, UI_SET_EVBIT, EV_KEY) || !Control(fd, UI_SET_EVBIT, EV_ABS)) return false;
    for (unsigned long button : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE}) {
        if (!Control(fd, UI_SET_KEYBIT, button)) return false;
    }
    if (!Control(fd, UI_SET_ABSBIT, ABS_X) || !Control(fd, UI_SET_ABSBIT, ABS_Y)) return false;
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    std::strncpy(setup.name, kUinputPointerName, UINPUT_MAX_NAME_SIZE - 1);
    return ioctl(fd, UI_DEV_SETUP, &setup) == 0 && DeclareAxis(fd, ABS_X) && DeclareAxis(fd, ABS_Y) &&
           ioctl(fd, UI_DEV_CREATE) == 0;
}

input_event Event(uint16_t type, uint16_t code, int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    return event;
}

}  // namespace

int CreateUinputPointer(const char* path, int* error) {
    const int fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    if (!Declare(fd)) {
        *error = errno;
        close(fd);
        return -1;
    }
    return fd;
}

bool WriteUinputMove(int fd, int32_t x, int32_t y) {
    const input_event events[3] = {Event(EV_ABS, ABS_X, x), Event(EV_ABS, ABS_Y, y), Event(EV_SYN, SYN_REPORT, 0)};
    ssize_t written;
    do {
        written = write(fd, events, sizeof events);
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(sizeof events);
}

void DestroyUinputPointer(int fd) {
    if (fd < 0) return;
    ioctl(fd, UI_DEV_DESTROY);
    close(fd);
}

void UseUinputPointer(int fd) { g_device.store(fd, std::memory_order_release); }

int UinputPointer() { return g_device.load(std::memory_order_acquire); }
