// Settings file access on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>
#include <string>

#include "state/platform.h"

struct PlatformFile {
    int fd;
};

namespace {

bool WriteAll(int fd, const unsigned char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The rename is on the disk only once the directory is; a failure here
// leaves the new file in place, so it changes nothing about the result.
void SyncDirectoryOf(const std::string& path) {
    const int fd = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// The file a name stands for: every symbolic link on the way followed, a
// dangling one to where it points. Empty for a loop or an unreadable link.
std::string FinalTarget(const char* name) {
    constexpr int kMaxLinks = 40;  // the kernel's own limit for one path
    std::string path = name;
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        char link[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<size_t>(n) == sizeof link) return {};
        const std::string next(link, static_cast<size_t>(n));
        path = next[0] == '/' ? next : DirectoryOf(path) + "/" + next;
    }
    return {};
}

// Kept as it is, as the Windows program keeps a file marked read-only: a
// file without any write bit (which binds root too here), or one whose
// write bits do not include us.
bool IsReadOnly(const std::string& path, const struct stat& info) {
    return (info.st_mode & 0222) == 0 || faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

int CreateExclusive(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
}

// Beside the target, so that the rename never crosses file systems. Our
// own name first, cleared of whatever a killed save or anyone else left
// there; a name that cannot be cleared (a directory, another user's file
// in a sticky directory) gives way to a fresh random one. Created
// exclusively either way: a link found there is never written through.
int CreateTemporary(const std::string& target, std::string* temporary) {
    *temporary = target + ".tmp";
    unlink(temporary->c_str());
    int fd = CreateExclusive(*temporary);
    std::random_device random;
    for (int attempt = 0; fd < 0 && errno == EEXIST && attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%08x", static_cast<unsigned>(random()));
        *temporary = target + ".tmp" + suffix;
        fd = CreateExclusive(*temporary);
    }
    return fd;
}

}  // namespace

PlatformFile* PlatformOpenExistingFile(const char* name) {
    // Non-blocking: opening a FIFO for reading would otherwise wait for a
    // writer. The size check refuses anything but a regular file.
    const int fd = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    return new PlatformFile{fd};
}

bool PlatformFileExists(const char* name) {
    struct stat info;
    return lstat(name, &info) == 0;
}

int64_t PlatformFileSize(PlatformFile* file) {
    struct stat info;
    if (fstat(file->fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<int64_t>(info.st_size);
}

bool PlatformReadFile(PlatformFile* file, void* buffer, size_t size) {
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(file->fd, out + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void PlatformCloseFile(PlatformFile* file) {
    close(file->fd);
    delete file;
}

bool PlatformReplaceFile(const char* name, const void* data, size_t size) {
    // A link keeps pointing where it did: the file it names is replaced.
    const std::string target = FinalTarget(name);
    if (target.empty()) return false;
    struct stat old;
    const bool existed = stat(target.c_str(), &old) == 0;
    if (existed && IsReadOnly(target, old)) return false;
    std::string temporary;
    const int fd = CreateTemporary(target, &temporary);
    if (fd < 0) return false;
    if (existed) {
        // The replacement keeps the owner and permissions of the file it
        // replaces, as far as we may set them; the set-id bits only with
        // the owner they were meant for.
        const bool owned = fchown(fd, old.st_uid, old.st_gid) == 0;
        fchmod(fd, old.st_mode & (owned ? 07777 : 0777));
    }
    const bool written = WriteAll(fd, static_cast<const unsigned char*>(data), size) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    SyncDirectoryOf(target);
    return true;
}
