#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/usage.h"

namespace {

CommandLine Parse(std::vector<const char*> args, bool* ok = nullptr) {
    args.insert(args.begin(), "lumidart");
    CommandLine command;
    const bool parsed = ParseCommandLine(static_cast<int>(args.size()), args.data(), &command);
    if (ok != nullptr) *ok = parsed;
    EXPECT_EQ(parsed, command.error.empty()) << "an error comes with false, and only then";
    return command;
}

std::string Error(std::vector<const char*> args) {
    bool ok = true;
    const CommandLine command = Parse(std::move(args), &ok);
    EXPECT_FALSE(ok);
    return command.error;
}

TEST(CommandLineTest, NoArgumentsMeansThePrimaryMonitor) {
    const CommandLine command = Parse({});
    EXPECT_EQ(command.monitor, "");
    EXPECT_FALSE(command.help);
    EXPECT_FALSE(command.version);
}

TEST(CommandLineTest, MonitorAsSeparateOrJoinedValue) {
    EXPECT_EQ(Parse({"--monitor", "2"}).monitor, "2");
    EXPECT_EQ(Parse({"--monitor=HDMI-1"}).monitor, "HDMI-1");
    // A Windows device name keeps its backslashes; the last one given wins.
    EXPECT_EQ(Parse({"--monitor", "1", "--monitor=\\\\.\\DISPLAY2"}).monitor, "\\\\.\\DISPLAY2");
    // The value is taken whole, even when it looks like an option.
    const CommandLine odd = Parse({"--monitor", "--help"});
    EXPECT_EQ(odd.monitor, "--help");
    EXPECT_FALSE(odd.help);
}

TEST(CommandLineTest, TheFirstHelpVersionOrMistakeDecides) {
    EXPECT_TRUE(Parse({"-h"}).help);
    EXPECT_TRUE(Parse({"--monitor", "2", "--version"}).version);
    EXPECT_TRUE(Parse({"--monitor=HDMI-1", "--help"}).help);
    EXPECT_TRUE(Parse({"--version", "--bogus"}).version);
    const CommandLine help = Parse({"--help", "--version"});
    EXPECT_TRUE(help.help);
    EXPECT_FALSE(help.version);
    EXPECT_EQ(Error({"--bogus", "--help"}), "unknown option '--bogus'");
}

TEST(CommandLineTest, MistakesNameTheArgument) {
    for (const char* arg : {"--helpme", "-help", "--Version", "-v", "-", "--", "--monitor2", "--monitors=2", "-m"}) {
        EXPECT_EQ(Error({arg}), std::string("unknown option '") + arg + "'");
    }
    EXPECT_EQ(Error({"Lumidart.set"}), "unexpected argument 'Lumidart.set'");
    for (const auto& args : std::vector<std::vector<const char*>>{
             {"--monitor"}, {"--monitor="}, {"--monitor", ""}, {"--monitor", "1", "--monitor"}}) {
        EXPECT_EQ(Error(args), "option '--monitor' needs a value");
    }
}

TEST(CommandLineTest, PointerByTheSessionUnlessChosen) {
    EXPECT_EQ(Parse({}).pointer, kPointerForSession);
    EXPECT_EQ(Parse({"--pointer", "uinput"}).pointer, kPointerUinput);
    EXPECT_EQ(Parse({"--pointer=xtest", "--monitor", "2"}).pointer, kPointerXTest);
    EXPECT_EQ(Parse({"--pointer=xtest", "--pointer=uinput"}).pointer, kPointerUinput);
    for (const auto& args : std::vector<std::vector<const char*>>{{"--pointer"}, {"--pointer="}, {"--pointer", ""}}) {
        EXPECT_EQ(Error(args), "option '--pointer' needs a value");
    }
    EXPECT_EQ(Error({"--pointer", "XTest"}), "option '--pointer' takes uinput or xtest, not 'XTest'");
    EXPECT_EQ(Error({"--pointer", "--help"}), "option '--pointer' takes uinput or xtest, not '--help'");
    EXPECT_EQ(Error({"--pointers=uinput"}), "unknown option '--pointers=uinput'");
}

TEST(CommandLineTest, CameraByNumberOrNameAndTheListDecidesLikeHelp) {
    EXPECT_EQ(Parse({}).camera, "");
    EXPECT_EQ(Parse({"--camera", "2"}).camera, "2");
    EXPECT_EQ(Parse({"--camera=vivid (2)", "--monitor", "1"}).camera, "vivid (2)");
    EXPECT_EQ(Error({"--camera="}), "option '--camera' needs a value");
    const CommandLine list = Parse({"--list-cameras", "--bogus"});
    EXPECT_TRUE(list.listCameras);
    EXPECT_FALSE(Parse({"--camera", "--list-cameras"}).listCameras);
}

TEST(CommandLineTest, MisuseIsOneLinePointingAtHelp) {
    const std::string text = MisuseLine(Error({"--bogus"}));
    EXPECT_EQ(text, "lumidart: unknown option '--bogus'; try 'lumidart --help'\n");
}

}  // namespace
