// What the program says about itself: help, version and misuse end it
// before any window opens.
#pragma once

#include <string>

// The whole --help text, ending in a newline.
const char* UsageText();
// "lumidart <version>" and a newline.
const char* VersionText();

// The one line for the error output after a command-line mistake, naming
// it and pointing at --help.
std::string MisuseLine(const std::string& error);

// The exit status after a misuse, apart from every run's 0.
constexpr int kMisuseExitCode = 2;
