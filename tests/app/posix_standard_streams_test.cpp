// Closed standard descriptors come back as /dev/null, before anything else
// can take their numbers; open ones are left alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <initializer_list>

#include "app/posix_standard_streams.h"

namespace {

// What a child found, as bits of its exit code.
enum : int {
    kNotNull = 1,      // a closed descriptor did not become /dev/null
    kChanged = 2,      // an open descriptor was replaced
    kFileTookOne = 4,  // a file opened afterwards got a standard number
};

bool IsDevNull(int fd) {
    struct stat info, null;
    return fstat(fd, &info) == 0 && stat("/dev/null", &null) == 0 && S_ISCHR(info.st_mode) &&
           info.st_rdev == null.st_rdev;
}

bool SameFile(int fd, const struct stat& before) {
    struct stat now;
    return fstat(fd, &now) == 0 && now.st_dev == before.st_dev && now.st_ino == before.st_ino;
}

// Closes the given descriptors in a child, mends them and reports.
int RunWithClosed(std::initializer_list<int> closed) {
    const pid_t child = fork();
    if (child == 0) {
        // Whatever the test runner gave us, descriptor 0 is a pipe here, so
        // that a replaced one can be told from the original.
        int in[2];
        if (pipe(in) != 0 || dup2(in[0], 0) != 0) _exit(64);
        struct stat original[3];
        for (int fd = 0; fd <= 2; ++fd) fstat(fd, &original[fd]);
        for (int fd : closed) close(fd);
        OpenMissingStandardStreams();
        int found = 0;
        for (int fd = 0; fd <= 2; ++fd) {
            bool wasClosed = false;
            for (int c : closed) wasClosed = wasClosed || c == fd;
            if (wasClosed && !IsDevNull(fd)) found |= kNotNull;
            if (!wasClosed && !SameFile(fd, original[fd])) found |= kChanged;
        }
        const int file = open("/proc/self/stat", O_RDONLY);
        if (file >= 0 && file <= 2) found |= kFileTookOne;
        _exit(found);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PosixStandardStreamsTest, ClosedDescriptorsBecomeDevNull) {
    EXPECT_EQ(RunWithClosed({}), 0) << "nothing closed, nothing touched";
    EXPECT_EQ(RunWithClosed({2}), 0) << "standard error alone";
    EXPECT_EQ(RunWithClosed({1, 2}), 0) << "output and error";
    EXPECT_EQ(RunWithClosed({0, 2}), 0) << "input and error, output kept";
    EXPECT_EQ(RunWithClosed({0, 1, 2}), 0) << "all three";
}

}  // namespace
