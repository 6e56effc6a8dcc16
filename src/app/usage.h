// What the program says about itself, and the arguments it answers before
// anything else runs: help, version and misuse end it without a window.
#pragma once

#include <string>

// The whole --help text, ending in a newline.
const char* UsageText();
// "lumidart <version>" and a newline.
const char* VersionText();

enum class EarlyAnswer { Run, Help, Version, Misuse };

// Reads the arguments in order; the first --help/-h, --version or misused
// argument decides. --monitor and its value pass through untouched: their
// meaning is the full parser's business. On Misuse, complaint gets the one
// line for the error output, naming the argument and pointing at --help.
EarlyAnswer EarlyAnswerFor(int argc, const char* const* argv, std::string* complaint);

// The exit status after a misuse, apart from every run's 0.
constexpr int kMisuseExitCode = 2;
