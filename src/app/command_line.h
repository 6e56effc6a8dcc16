// The program's options, parsed without acting on any of them.
#pragma once

#include <string>

struct CommandLine {
    bool help = false;
    bool version = false;
    // Empty: the primary monitor. A number (1 = the first in the platform's
    // order) or an output/monitor/device name.
    std::string monitor;
    // Set when parsing fails: one line for standard error.
    std::string error;
};

// argv[0] is the program; false (with command->error) on an unknown option
// or a missing value.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* command);
