#include "app/linux_pointer_choice.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tracking/linux_uinput_pointer.h"

namespace {

PointerOption g_option = kPointerForSession;

bool Set(const char* value) { return value != nullptr && value[0] != '\0'; }

}  // namespace

bool WantsUinput(PointerOption option, const char* waylandDisplay, const char* sessionType) {
    if (option != kPointerForSession) return option == kPointerUinput;
    return Set(waylandDisplay) || (sessionType != nullptr && std::strcmp(sessionType, "wayland") == 0);
}

std::string UinputProblemLine(const char* node, int error) {
    const std::string fallback = ", so the pointer moves through XTest, which under Wayland reaches X11 windows only";
    const std::string name = node;
    switch (error) {
        case EACCES:
        case EPERM:
            return "lumidart: no write access to " + name + fallback +
                   "; the lumidart package's udev rule grants it to the local session's user from the next boot, "
                   "or at once after 'sudo modprobe uinput && sudo udevadm trigger " + name + "'\n";
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return "lumidart: " + name + " is missing" + fallback + "; 'sudo modprobe uinput' makes it\n";
        default:
            return "lumidart: no pointer device could be made on " + name + " (" + std::strerror(error) + ")" +
                   fallback + "\n";
    }
}

void SetPointerOption(PointerOption option) { g_option = option; }

void StartPointer() {
    if (!WantsUinput(g_option, std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE"))) return;
    int error = 0;
    const int fd = CreateUinputPointer(kUinputNode, &error);
    if (fd < 0) {
        std::fputs(UinputProblemLine(kUinputNode, error).c_str(), stderr);
        return;
    }
    UseUinputPointer(fd);
}

void StopPointer() {
    const int fd = UinputPointer();
    UseUinputPointer(-1);
    DestroyUinputPointer(fd);
}
