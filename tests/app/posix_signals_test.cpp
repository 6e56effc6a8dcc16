// Termination signals become one close request each time the loop looks,
// however many arrive, with the loop woken through the descriptor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "app/posix_signals.h"

namespace {

// As the event loop waits: a signal taken on this thread interrupts the
// wait, and the loop looks again.
bool Readable(int timeoutMs) {
    pollfd fd{CloseSignalFd(), POLLIN, 0};
    int ready;
    while ((ready = poll(&fd, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    return ready == 1 && (fd.revents & POLLIN) != 0;
}

class PosixSignalsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallCloseSignals();
        ASSERT_GE(CloseSignalFd(), 0);
        TakeCloseSignal();
    }
};

TEST_F(PosixSignalsTest, EachTerminationSignalIsOneCloseRequest) {
    EXPECT_FALSE(TakeCloseSignal());
    for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
        ASSERT_EQ(raise(number), 0);  // the process lives on
        EXPECT_TRUE(Readable(0)) << number;
        EXPECT_TRUE(TakeCloseSignal()) << number;
        EXPECT_FALSE(TakeCloseSignal()) << number;
        EXPECT_FALSE(Readable(0)) << number << ": the wake-up stays behind";
    }
    for (int i = 0; i < 5; ++i) raise(SIGTERM);
    EXPECT_TRUE(TakeCloseSignal());
    EXPECT_FALSE(TakeCloseSignal());
    EXPECT_FALSE(Readable(0));
}

TEST_F(PosixSignalsTest, SignalFromAnotherThreadWakesAWaitingLoop) {
    std::thread sender([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kill(getpid(), SIGHUP);
    });
    const bool woken = Readable(10000);
    sender.join();
    EXPECT_TRUE(woken);
    EXPECT_TRUE(TakeCloseSignal());
}

// A signal ignored by whoever started the program (nohup ignores SIGHUP)
// stays ignored; the others still close.
TEST_F(PosixSignalsTest, SignalIgnoredAtStartStaysIgnored) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGHUP, SIG_IGN);
        signal(SIGINT, SIG_DFL);
        InstallCloseSignals();
        raise(SIGHUP);
        const bool hangupTaken = TakeCloseSignal();
        raise(SIGINT);
        const bool interruptTaken = TakeCloseSignal();
        _exit(!hangupTaken && interruptTaken ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// A full pipe loses no request, and the handler leaves errno as it was
// even when its write fails.
TEST_F(PosixSignalsTest, FullPipeKeepsTheRequestAndErrno) {
    const int capacity = fcntl(CloseSignalFd(), F_GETPIPE_SZ);
    ASSERT_GT(capacity, 0);
    for (int i = 0; i < capacity; ++i) raise(SIGINT);
    int queued = 0;
    ASSERT_EQ(ioctl(CloseSignalFd(), FIONREAD, &queued), 0);
    EXPECT_EQ(queued, capacity);
    errno = EDOM;
    raise(SIGTERM);
    EXPECT_EQ(errno, EDOM);
    EXPECT_TRUE(TakeCloseSignal());
    EXPECT_FALSE(Readable(0));
    EXPECT_FALSE(TakeCloseSignal());
}

}  // namespace
