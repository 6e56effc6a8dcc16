#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "app/main_window.h"
#include "app/usage.h"

namespace {

TEST(UsageTextTest, NamesEveryOptionAndFitsATerminal) {
    const std::string usage = UsageText();
    EXPECT_EQ(usage.rfind("Usage: lumidart [--camera N|NAME] [--monitor N|NAME] [--pointer uinput|xtest]\n", 0), 0u);
    for (const char* option : {"--camera N|NAME", "--list-cameras", "Lumidart.cam", "C switches", "--monitor N|NAME",
                               "--pointer uinput|xtest", "-h, --help", "--version", "Lumidart.set", "LUMIDART_SOURCE",
                               "XTest", "F12", "Esc", "Space", "Tab", "E (laser off)", "A covers"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
    std::istringstream lines(usage);
    std::string line;
    while (std::getline(lines, line)) EXPECT_LE(line.size(), 79u) << line;
    EXPECT_EQ(usage.back(), '\n');
}

TEST(UsageTextTest, VersionAgreesWithTheWindowTitle) {
    const std::string version = VersionText();
    std::smatch match;
    ASSERT_TRUE(std::regex_match(version, match, std::regex("lumidart ([0-9]+\\.[0-9]+)\n"))) << version;
    EXPECT_NE(std::string(kWindowTitle).find("v" + match[1].str() + " "), std::string::npos)
        << kWindowTitle << " / " << version;
}

}  // namespace
