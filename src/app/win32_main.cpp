// The Windows entry: the whole program is the portable RunLumidart.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/win32_monitors.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The runtime has split the process command line as for main().
    CommandLine command;
    if (!ParseCommandLine(__argc, __argv, &command)) {
        std::fprintf(stderr, "lumidart: %s\n", command.error.c_str());
        return 2;
    }
    SetWantedMonitor(command.monitor);
    // The show command is ignored: the console always opens normally.
    RunLumidart();
    return 0;
}
