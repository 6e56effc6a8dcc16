// The Windows entry: the whole program is the portable RunLumidart.
#include <windows.h>

#include <cstdio>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/usage.h"
#include "app/win32_monitors.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The runtime has split the process command line as for main().
    CommandLine command;
    if (!ParseCommandLine(__argc, __argv, &command)) {
        std::fputs(MisuseLine(command.error).c_str(), stderr);
        return kMisuseExitCode;
    }
    // NOTE: a GUI program has no console of its own; the text reaches a
    // console only when the caller redirected the output.
    if (command.help || command.version) {
        std::fputs(command.help ? UsageText() : VersionText(), stdout);
        return 0;
    }
    SetWantedMonitor(command.monitor);
    // The show command is ignored: the console always opens normally.
    RunLumidart();
    return 0;
}
