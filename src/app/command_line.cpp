#include "app/command_line.h"

#include <cstring>

namespace {

constexpr const char kMonitor[] = "--monitor";
constexpr const char kMonitorJoined[] = "--monitor=";

bool Fail(CommandLine* command, const std::string& error) {
    command->error = error;
    return false;
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, CommandLine* command) {
    *command = CommandLine{};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            command->help = true;
            return true;
        }
        if (arg == "--version") {
            command->version = true;
            return true;
        }
        if (arg == kMonitor || arg.rfind(kMonitorJoined, 0) == 0) {
            // The value is taken whole, even when it looks like an option.
            std::string value;
            if (arg != kMonitor) {
                value = arg.substr(std::strlen(kMonitorJoined));
            } else if (i + 1 < argc) {
                value = argv[++i];
            }
            if (value.empty()) return Fail(command, "option '--monitor' needs a value");
            command->monitor = value;
            continue;
        }
        if (arg[0] == '-') return Fail(command, "unknown option '" + arg + "'");
        return Fail(command, "unexpected argument '" + arg + "'");
    }
    return true;
}
