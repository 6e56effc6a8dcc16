#include "capture/linux_device_handles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "fake_platform/scratch_directory.h"

namespace {

std::string Target(int fd) {
    char target[PATH_MAX];
    const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

TEST(DeviceHandlesTest, LeftoverDescriptorsLetTheDeviceGoAndStayUsable) {
    ScratchDirectory scratch("lumidart-device-handles-");
    const std::string device = (scratch.path() / "video0").string(), other = (scratch.path() / "other").string();
    const std::string link = (scratch.path() / "camera").string();
    for (const std::string& name : {device, other}) std::fclose(std::fopen(name.c_str(), "w"));
    const int leaked = open(device.c_str(), O_RDWR);
    const int duplicate = dup(leaked);
    const int unrelated = open(other.c_str(), O_RDONLY);
    ASSERT_GE(leaked, 0);
    ASSERT_GE(duplicate, 0);
    ASSERT_GE(unrelated, 0);

    // Through a link, as a udev name leads to the node.
    ASSERT_EQ(symlink(device.c_str(), link.c_str()), 0);
    const std::string resolved = ResolvedDevicePath(link.c_str());
    EXPECT_EQ(resolved, ResolvedDevicePath(device.c_str()));
    EXPECT_EQ(ReleaseDeviceHandles(resolved), 2);

    EXPECT_EQ(Target(leaked), "/dev/null");
    EXPECT_EQ(Target(duplicate), "/dev/null");
    EXPECT_EQ(Target(unrelated), ResolvedDevicePath(other.c_str()));
    // The owner's own close later still works, and closes nothing else.
    EXPECT_EQ(close(leaked), 0);
    EXPECT_EQ(close(duplicate), 0);
    EXPECT_EQ(ReleaseDeviceHandles(resolved), 0);
    close(unrelated);
}

TEST(DeviceHandlesTest, NoDeviceNoChange) {
    EXPECT_EQ(ResolvedDevicePath(nullptr), "");
    EXPECT_EQ(ResolvedDevicePath("/nonexistent/video9"), "");
    EXPECT_EQ(ReleaseDeviceHandles(""), 0);
}

}  // namespace
