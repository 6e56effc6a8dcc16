// Settings file access on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

// The rename is on the disk only once the directory is; a failure here
// leaves the new file in place, so it changes nothing about the result.
void SyncDirectoryOf(const char* name) {
    const char* const slash = std::strrchr(name, '/');
    const std::string directory = slash == nullptr ? "." : slash == name ? "/" : std::string(name, slash);
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
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
    // Same directory as the target, so the rename never crosses file systems.
    const std::string temporary = std::string(name) + ".tmp";
    // Whatever a killed save or anyone else left under that name goes, and
    // the file is created afresh: a link found there is never written
    // through to the file it points at.
    unlink(temporary.c_str());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, static_cast<const unsigned char*>(data), size) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || rename(temporary.c_str(), name) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    SyncDirectoryOf(name);
    return true;
}
