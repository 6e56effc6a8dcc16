// The program's options, parsed without acting on any of them.
#pragma once

#include <string>

// How the Linux program moves the pointer: as the session suits (a uinput
// device under Wayland, XTest on X11), or one of them by choice.
enum PointerOption {
    kPointerForSession,
    kPointerUinput,
    kPointerXTest,
};

struct CommandLine {
    bool help = false;
    bool version = false;
    // Empty: the primary monitor. A number (1 = the first in the platform's
    // order) or an output/monitor/device name.
    std::string monitor;
    PointerOption pointer = kPointerForSession;
    // Print the cameras and exit.
    bool listCameras = false;
    // Empty: the remembered camera. A number (1 = the first listed) or a
    // camera's name as listed.
    std::string camera;
    // Set when parsing fails: what was wrong, naming the argument.
    std::string error;
};

// argv[0] is the program. Read in order: the first --help/-h, --version,
// --list-cameras or mistake decides, so "--help --bogus" still asks for
// help. False (with command->error) on an unknown option, a stray
// argument, a missing value or a pointer other than uinput and xtest. The Windows program has one
// way to move the pointer and ignores the pointer option.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* command);
