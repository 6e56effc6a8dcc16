#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/usage.h"

namespace {

struct Outcome {
    EarlyAnswer answer;
    std::string complaint;
};

Outcome Answer(std::vector<const char*> args) {
    args.insert(args.begin(), "lumidart");
    Outcome outcome{EarlyAnswer::Run, ""};
    outcome.answer = EarlyAnswerFor(static_cast<int>(args.size()), args.data(), &outcome.complaint);
    return outcome;
}

TEST(EarlyAnswerTest, HelpAndVersionAnywhereAfterAcceptedArguments) {
    EXPECT_EQ(Answer({"--help"}).answer, EarlyAnswer::Help);
    EXPECT_EQ(Answer({"-h"}).answer, EarlyAnswer::Help);
    EXPECT_EQ(Answer({"--version"}).answer, EarlyAnswer::Version);
    EXPECT_EQ(Answer({"--monitor", "2", "--version"}).answer, EarlyAnswer::Version);
    EXPECT_EQ(Answer({"--monitor=HDMI-1", "-h"}).answer, EarlyAnswer::Help);
}

TEST(EarlyAnswerTest, MonitorAndItsValueAreLeftToTheProgram) {
    EXPECT_EQ(Answer({}).answer, EarlyAnswer::Run);
    EXPECT_EQ(Answer({"--monitor", "1"}).answer, EarlyAnswer::Run);
    EXPECT_EQ(Answer({"--monitor", "DP-2"}).answer, EarlyAnswer::Run);
    EXPECT_EQ(Answer({"--monitor=DP-2"}).answer, EarlyAnswer::Run);
    // The value is taken whole, even when it looks like an option.
    EXPECT_EQ(Answer({"--monitor", "--help"}).answer, EarlyAnswer::Run);
}

TEST(EarlyAnswerTest, TheFirstDecisiveArgumentWins) {
    EXPECT_EQ(Answer({"--version", "--bogus"}).answer, EarlyAnswer::Version);
    EXPECT_EQ(Answer({"--help", "--version"}).answer, EarlyAnswer::Help);
    const Outcome bad = Answer({"--bogus", "--help"});
    EXPECT_EQ(bad.answer, EarlyAnswer::Misuse);
    EXPECT_NE(bad.complaint.find("'--bogus'"), std::string::npos) << bad.complaint;
}

TEST(EarlyAnswerTest, NearMissesAreMisuse) {
    for (const char* arg : {"--helpme", "-help", "--Version", "-v", "-", "--", "--monitor2", "-m"}) {
        const Outcome outcome = Answer({arg});
        EXPECT_EQ(outcome.answer, EarlyAnswer::Misuse) << arg;
        EXPECT_NE(outcome.complaint.find(std::string("'") + arg + "'"), std::string::npos) << outcome.complaint;
    }
    const Outcome stray = Answer({"Lumidart.set"});
    EXPECT_EQ(stray.answer, EarlyAnswer::Misuse);
    EXPECT_NE(stray.complaint.find("unexpected argument 'Lumidart.set'"), std::string::npos) << stray.complaint;
}

TEST(EarlyAnswerTest, MonitorWithoutValueIsMisuse) {
    const Outcome outcome = Answer({"--monitor"});
    EXPECT_EQ(outcome.answer, EarlyAnswer::Misuse);
    EXPECT_NE(outcome.complaint.find("'--monitor' needs a value"), std::string::npos) << outcome.complaint;
    EXPECT_EQ(Answer({"--monitor", "1", "--monitor"}).answer, EarlyAnswer::Misuse);
}

TEST(EarlyAnswerTest, ComplaintIsOneLinePointingAtHelp) {
    for (const Outcome& outcome : {Answer({"--bogus"}), Answer({"--monitor"}), Answer({"extra"})}) {
        ASSERT_EQ(outcome.answer, EarlyAnswer::Misuse);
        const std::string& text = outcome.complaint;
        EXPECT_EQ(text.rfind("lumidart: ", 0), 0u) << text;
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
        EXPECT_NE(text.find("lumidart --help"), std::string::npos) << text;
    }
}

TEST(UsageTextTest, NamesEveryOptionAndFitsATerminal) {
    const std::string usage = UsageText();
    EXPECT_EQ(usage.rfind("Usage: lumidart [--monitor N|NAME] [--help] [--version]\n", 0), 0u);
    for (const char* option : {"--monitor N|NAME", "-h, --help", "--version", "Lumidart.set", "LUMIDART_SOURCE",
                               "XTest", "F12", "Esc", "Space", "Tab"}) {
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
