#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "virtualcam/control_file.h"

bool ReadControlFile(const std::string& path, std::string* text) {
    // Non-blocking: opening a pipe with no writer returns at once.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
              static_cast<size_t>(info.st_size) <= kControlFileLimit;
    char buffer[kControlFileLimit + 1];
    size_t length = 0;
    // Read to the end, but never past the limit even if the file grows.
    while (ok && length < sizeof buffer) {
        const ssize_t n = read(fd, buffer + length, sizeof buffer - length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        length += static_cast<size_t>(n);
    }
    close(fd);
    return ok && TakeControlText(buffer, length, text);
}

std::string DefaultControlPath() {
    // The user's runtime directory is theirs alone; without one, a name of
    // the user's own that ReadControlFile refuses if someone else made it.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime == '/') return std::string(runtime) + "/lumidart-virtualcam.txt";
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    return path + "lumidart-virtualcam-" + std::to_string(geteuid()) + ".txt";
}
