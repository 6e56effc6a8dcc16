#include "app/posix_standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

void OpenMissingStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // Takes the lowest free descriptor: this one, since those below it
        // are open by now.
        open("/dev/null", O_RDWR);
    }
}
