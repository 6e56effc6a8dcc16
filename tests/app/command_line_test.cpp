#include <gtest/gtest.h>

#include <vector>

#include "app/command_line.h"

namespace {

bool Parse(std::vector<const char*> args, CommandLine* command) {
    args.insert(args.begin(), "lumidart");
    return ParseCommandLine(static_cast<int>(args.size()), args.data(), command);
}

TEST(CommandLineTest, NoArgumentsMeansThePrimaryMonitor) {
    CommandLine command;
    ASSERT_TRUE(Parse({}, &command));
    EXPECT_EQ(command.monitor, "");
    EXPECT_FALSE(command.help);
    EXPECT_FALSE(command.version);
}

TEST(CommandLineTest, MonitorAsSeparateOrJoinedValue) {
    CommandLine command;
    ASSERT_TRUE(Parse({"--monitor", "2"}, &command));
    EXPECT_EQ(command.monitor, "2");
    ASSERT_TRUE(Parse({"--monitor=HDMI-1"}, &command));
    EXPECT_EQ(command.monitor, "HDMI-1");
    // A Windows device name keeps its backslashes; the last one given wins.
    ASSERT_TRUE(Parse({"--monitor", "1", "--monitor=\\\\.\\DISPLAY2"}, &command));
    EXPECT_EQ(command.monitor, "\\\\.\\DISPLAY2");
    ASSERT_TRUE(Parse({"-h"}, &command));
    EXPECT_TRUE(command.help);
    ASSERT_TRUE(Parse({"--help", "--version"}, &command));
    EXPECT_TRUE(command.help);
    EXPECT_TRUE(command.version);
    EXPECT_EQ(command.monitor, "") << "a new parse starts from nothing";
}

TEST(CommandLineTest, MistakesGiveOneErrorLine) {
    CommandLine command;
    EXPECT_FALSE(Parse({"--monitor"}, &command));
    EXPECT_EQ(command.error, "option --monitor needs a value");
    EXPECT_FALSE(Parse({"--monitor="}, &command));
    EXPECT_EQ(command.error, "option --monitor needs a value");
    EXPECT_FALSE(Parse({"--monitor", ""}, &command));
    EXPECT_FALSE(Parse({"--monitors=2"}, &command));
    EXPECT_EQ(command.error, "unknown option --monitors=2");
    EXPECT_FALSE(Parse({"-m", "2"}, &command));
    EXPECT_EQ(command.error, "unknown option -m");
    EXPECT_FALSE(Parse({"2"}, &command));
}

}  // namespace
