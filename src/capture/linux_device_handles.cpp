#include "capture/linux_device_handles.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

std::string ResolvedDevicePath(const char* path) {
    if (path == nullptr || *path == '\0') return {};
    char resolved[PATH_MAX];
    if (realpath(path, resolved) == nullptr) return {};
    return resolved;
}

int ReleaseDeviceHandles(const std::string& resolvedPath) {
    if (resolvedPath.empty()) return 0;
    std::vector<int> held;
    DIR* const fds = opendir("/proc/self/fd");
    if (fds == nullptr) return 0;
    const int listing = dirfd(fds);
    while (const dirent* entry = readdir(fds)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == listing) continue;
        char target[PATH_MAX];
        const ssize_t length = readlinkat(listing, entry->d_name, target, sizeof target - 1);
        if (length <= 0) continue;
        target[length] = '\0';
        if (resolvedPath == target) held.push_back(static_cast<int>(fd));
    }
    closedir(fds);
    if (held.empty()) return 0;
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) return 0;
    int released = 0;
    for (int fd : held) {
        // dup2 keeps the number and replaces what it refers to in one step.
        if (dup3(null, fd, O_CLOEXEC) == fd) ++released;
    }
    close(null);
    return released;
}
