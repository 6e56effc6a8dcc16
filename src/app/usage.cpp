#include "app/usage.h"

#include <cstdio>

#ifndef LUMIDART_VERSION
#error "LUMIDART_VERSION comes from the build"
#endif

const char* UsageText() {
    return "Usage: lumidart [--camera N|NAME] [--monitor N|NAME] [--pointer uinput|xtest]\n"
           "                [--list-cameras|--help|--version]\n"
           "Turns a video camera and a red laser pointer into a pointing device.\n"
           "\n"
           "  --camera N|NAME   the camera to open: 1 is the first of --list-cameras,\n"
           "                    or its name as listed; without it, the camera in use\n"
           "                    when the program last closed (kept in Lumidart.cam),\n"
           "                    else the first\n"
           "  --list-cameras    print each camera's number, name and identity and exit\n"
           "  --monitor N|NAME  the monitor the laser spot maps onto: 1 is the first\n"
           "                    in the platform's order, or an X11 output or monitor\n"
           "                    name; without it, the primary monitor\n"
           "  --pointer uinput|xtest\n"
           "                    how the Linux program moves the pointer: uinput, a\n"
           "                    virtual device (\"Lumidart pointer\") that moves it over\n"
           "                    the whole desktop, Wayland too; xtest, the X server's\n"
           "                    XTest, which under Wayland moves it over X11 windows\n"
           "                    only; without it, uinput on a Wayland session, XTest\n"
           "                    on X11\n"
           "  -h, --help        print this help and exit\n"
           "  --version         print the version and exit\n"
           "\n"
           "In the console: A covers the monitor with patterns for a second and finds\n"
           "the screen's corners in the camera picture (press it first; A, Esc, F12\n"
           "or Tab end it), a left click sets the corner of the quarter it falls in,\n"
           "Space shows which pixels count as spot, E (laser off) lowers the camera's\n"
           "exposure until only the laser counts, Tab opens the camera's settings,\n"
           "C switches to the next camera, Esc or minimising starts tracking. F12\n"
           "ends it (under Wayland while an X11 window has the keyboard), and so\n"
           "does starting lumidart again.\n"
           "The corners are kept in Lumidart.set in the current directory.\n"
           "LUMIDART_SOURCE, a GStreamer element description, replaces the remembered\n"
           "camera.\n";
}

const char* VersionText() { return "lumidart " LUMIDART_VERSION "\n"; }

std::string MisuseLine(const std::string& error) { return "lumidart: " + error + "; try 'lumidart --help'\n"; }

bool ParseOrAnswer(int argc, const char* const* argv, CommandLine* command, int* exitCode) {
    if (!ParseCommandLine(argc, argv, command)) {
        std::fputs(MisuseLine(command->error).c_str(), stderr);
        *exitCode = kMisuseExitCode;
        return false;
    }
    if (command->help || command->version) {
        std::fputs(command->help ? UsageText() : VersionText(), stdout);
        *exitCode = 0;
        return false;
    }
    return true;
}
