// What the program says about itself: help, version and misuse end it
// before any window opens.
#pragma once

#include <string>

#include "app/command_line.h"

// The whole --help text, ending in a newline.
const char* UsageText();
// "lumidart <version>" and a newline.
const char* VersionText();

// The one line for the error output after a command-line mistake, naming
// it and pointing at --help.
std::string MisuseLine(const std::string& error);

// The exit status after a misuse, apart from every run's 0.
constexpr int kMisuseExitCode = 2;

// Parses the arguments and answers help, version and mistakes on the
// standard streams. True when the program is to run with *command; false
// with the process's exit status in *exitCode otherwise.
bool ParseOrAnswer(int argc, const char* const* argv, CommandLine* command, int* exitCode);
