#include "app/linux_pointer_choice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

TEST(PointerChoiceTest, UinputOnWaylandSessionsUnlessTheOptionSaysOtherwise) {
    EXPECT_TRUE(WantsUinput(kPointerForSession, "wayland-0", nullptr));
    EXPECT_TRUE(WantsUinput(kPointerForSession, nullptr, "wayland"));
    EXPECT_TRUE(WantsUinput(kPointerForSession, "wayland-1", "x11"));
    EXPECT_FALSE(WantsUinput(kPointerForSession, nullptr, nullptr));
    EXPECT_FALSE(WantsUinput(kPointerForSession, "", "x11"));
    EXPECT_FALSE(WantsUinput(kPointerForSession, nullptr, "tty"));
    EXPECT_FALSE(WantsUinput(kPointerForSession, nullptr, "Wayland-ish"));
    EXPECT_TRUE(WantsUinput(kPointerUinput, nullptr, "x11"));
    EXPECT_FALSE(WantsUinput(kPointerXTest, "wayland-0", "wayland"));
}

TEST(PointerChoiceTest, OneLineSaysWhatIsWrongAndHowToMendIt) {
    struct Case {
        int error;
        const char* mend;
    } const cases[] = {
        {EACCES, "udev rule"},
        {EPERM, "udevadm trigger /dev/uinput"},
        {ENOENT, "modprobe uinput"},
        {ENODEV, "modprobe uinput"},
        {EIO, std::strerror(EIO)},
    };
    for (const Case& c : cases) {
        const std::string line = UinputProblemLine(kUinputNode, c.error);
        SCOPED_TRACE(line);
        EXPECT_EQ(line.rfind("lumidart: ", 0), 0u);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
        EXPECT_EQ(line.back(), '\n');
        EXPECT_NE(line.find("/dev/uinput"), std::string::npos);
        EXPECT_NE(line.find("XTest"), std::string::npos);
        EXPECT_NE(line.find(c.mend), std::string::npos);
    }
}

}  // namespace
