#include "app/command_line.h"

#include <cstring>

namespace {

constexpr const char kMonitor[] = "--monitor";

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, CommandLine* command) {
    *command = CommandLine{};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            command->help = true;
        } else if (arg == "--version") {
            command->version = true;
        } else if (arg == kMonitor) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                command->error = "option --monitor needs a value";
                return false;
            }
            command->monitor = argv[++i];
        } else if (arg.compare(0, std::strlen(kMonitor) + 1, std::string(kMonitor) + "=") == 0) {
            command->monitor = arg.substr(std::strlen(kMonitor) + 1);
            if (command->monitor.empty()) {
                command->error = "option --monitor needs a value";
                return false;
            }
        } else {
            command->error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}
