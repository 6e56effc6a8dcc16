#include "tracking/linux_uinput_pointer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/linux_pointer_choice.h"
#include "fake_platform/scratch_directory.h"

namespace {

struct Pipe {
    int read = -1, write = -1;
    Pipe() {
        int fds[2];
        EXPECT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        read = fds[0];
        write = fds[1];
    }
    ~Pipe() {
        if (read >= 0) close(read);
        if (write >= 0) close(write);
    }
    std::vector<input_event> Events() const {
        std::vector<input_event> events(16);
        const ssize_t got = ::read(read, events.data(), events.size() * sizeof(input_event));
        events.resize(got > 0 ? static_cast<size_t>(got) / sizeof(input_event) : 0);
        EXPECT_EQ(got % static_cast<ssize_t>(sizeof(input_event)), 0) << "a torn record";
        return events;
    }
};

void ExpectEvent(const input_event& e, uint16_t type, uint16_t code, int32_t value) {
    EXPECT_EQ(e.type, type);
    EXPECT_EQ(e.code, code);
    EXPECT_EQ(e.value, value);
}

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

TEST(UinputPointerTest, AMoveIsBothAxesThenOneReport) {
    Pipe p;
    ASSERT_TRUE(WriteUinputMove(p.write, 32782, 8200));
    ASSERT_TRUE(WriteUinputMove(p.write, 0, kUinputAxisMaximum));
    const std::vector<input_event> events = p.Events();
    ASSERT_EQ(events.size(), 6u);
    ExpectEvent(events[0], EV_ABS, ABS_X, 32782);
    ExpectEvent(events[1], EV_ABS, ABS_Y, 8200);
    ExpectEvent(events[2], EV_SYN, SYN_REPORT, 0);
    ExpectEvent(events[3], EV_ABS, ABS_X, 0);
    ExpectEvent(events[4], EV_ABS, ABS_Y, 65535);
    ExpectEvent(events[5], EV_SYN, SYN_REPORT, 0);
    // The kernel stamps the time; nothing presses a button.
    for (const input_event& e : events) {
        EXPECT_EQ(e.time.tv_sec, 0);
        EXPECT_NE(e.type, EV_KEY);
    }
}

TEST(UinputPointerTest, AFailedWriteIsReported) {
    Pipe p;
    EXPECT_FALSE(WriteUinputMove(p.read, 1, 2));
}

TEST(UinputPointerTest, NoDeviceWithoutANodeOrOnAnOrdinaryFile) {
    ScratchDirectory scratch("lumidart-uinput-");
    const size_t before = OpenDescriptors();
    int error = 0;
    EXPECT_EQ(CreateUinputPointer("missing-node", &error), -1);
    EXPECT_EQ(error, ENOENT);
    std::ofstream("plain-file") << "not a device";
    error = 0;
    EXPECT_EQ(CreateUinputPointer("plain-file", &error), -1);
    EXPECT_EQ(error, ENOTTY);
    EXPECT_EQ(OpenDescriptors(), before) << "a descriptor left open";
}

TEST(UinputPointerTest, StoppingRemovesTheDeviceAndItsDescriptor) {
    Pipe p;
    UseUinputPointer(p.write);
    EXPECT_EQ(UinputPointer(), p.write);
    StopPointer();
    EXPECT_EQ(UinputPointer(), -1);
    EXPECT_EQ(fcntl(p.write, F_GETFD), -1);
    EXPECT_EQ(errno, EBADF);
    p.write = -1;
}

}  // namespace
