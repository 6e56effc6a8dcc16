// The Linux program's entry.
#include <X11/Xlib.h>

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/posix_signals.h"
#include "app/posix_standard_streams.h"
#include "app/usage.h"
#include "app/x11_connection_loss.h"
#include "app/x11_display.h"
#include "app/x11_monitors.h"

int main(int argc, char** argv) {
    OpenMissingStandardStreams();
    // Answered before Xlib is touched: no display needed, no window opened.
    std::string complaint;
    switch (EarlyAnswerFor(argc, argv, &complaint)) {
        case EarlyAnswer::Help:
            std::fputs(UsageText(), stdout);
            return 0;
        case EarlyAnswer::Version:
            std::fputs(VersionText(), stdout);
            return 0;
        case EarlyAnswer::Misuse:
            std::fputs(complaint.c_str(), stderr);
            return kMisuseExitCode;
        case EarlyAnswer::Run:
            break;
    }
    // The arguments are well formed by now; what remains is their values.
    CommandLine command;
    if (!ParseCommandLine(argc, argv, &command)) {
        std::fprintf(stderr, "lumidart: %s; try 'lumidart --help'\n", command.error.c_str());
        return kMisuseExitCode;
    }
    SetWantedMonitor(command.monitor);
    // From here on a termination request is a close request.
    InstallCloseSignals();
    // The worker presents and polls input while the UI thread waits for
    // events; restores may come from either thread.
    XInitThreads();
    InstallX11ErrorHandler();
    InstallX11ConnectionLossHandler();
    // Nothing is reported and every run ends with 0, even without a display.
    if (UiDisplay() == nullptr || WorkerDisplay() == nullptr) return 0;
    return RunLumidart();
}
