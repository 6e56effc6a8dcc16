#include "app/usage.h"

#include <cstring>

#ifndef LUMIDART_VERSION
#error "LUMIDART_VERSION comes from the build"
#endif

namespace {

constexpr const char* kMonitorOption = "--monitor";

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

EarlyAnswer Complain(std::string* complaint, const std::string& what) {
    *complaint = "lumidart: " + what + "; try 'lumidart --help'\n";
    return EarlyAnswer::Misuse;
}

}  // namespace

const char* UsageText() {
    return "Usage: lumidart [--monitor N|NAME] [--help] [--version]\n"
           "Turns a video camera and a red laser pointer into a pointing device.\n"
           "\n"
           "  --monitor N|NAME  the monitor the laser spot maps onto: 1 is the first\n"
           "                    in the platform's order, or an X11 output or monitor\n"
           "                    name; without it, the primary monitor\n"
           "  -h, --help        print this help and exit\n"
           "  --version         print the version and exit\n"
           "\n"
           "In the console: a left click sets the corner of the quarter it falls in,\n"
           "Space shows which pixels count as spot, Tab opens the camera's settings,\n"
           "Esc or minimising starts tracking, F12 ends it.\n"
           "The corners are kept in Lumidart.set in the current directory.\n"
           "LUMIDART_SOURCE, a GStreamer element description, replaces the camera.\n"
           "The pointer is driven on X11 sessions (XTest); under Wayland only over\n"
           "X11 windows.\n";
}

const char* VersionText() { return "lumidart " LUMIDART_VERSION "\n"; }

EarlyAnswer EarlyAnswerFor(int argc, const char* const* argv, std::string* complaint) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return EarlyAnswer::Help;
        if (std::strcmp(arg, "--version") == 0) return EarlyAnswer::Version;
        if (std::strcmp(arg, kMonitorOption) == 0) {
            if (i + 1 == argc) return Complain(complaint, "option '--monitor' needs a value");
            ++i;
            continue;
        }
        if (StartsWith(arg, "--monitor=")) continue;
        if (arg[0] == '-') return Complain(complaint, "unknown option '" + std::string(arg) + "'");
        return Complain(complaint, "unexpected argument '" + std::string(arg) + "'");
    }
    return EarlyAnswer::Run;
}
