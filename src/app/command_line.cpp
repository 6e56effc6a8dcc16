#include "app/command_line.h"

#include <cstring>

namespace {

constexpr const char kMonitor[] = "--monitor";
constexpr const char kMonitorJoined[] = "--monitor=";
constexpr const char kCamera[] = "--camera";
constexpr const char kCameraJoined[] = "--camera=";
constexpr const char kPointer[] = "--pointer";
constexpr const char kPointerJoined[] = "--pointer=";

bool Fail(CommandLine* command, const std::string& error) {
    command->error = error;
    return false;
}

// The value of an option given as "--name value" or "--name=value"; empty
// when there is none. The value is taken whole, even when it looks like an
// option.
std::string OptionValue(const std::string& arg, const char* name, const char* joined, int argc,
                        const char* const* argv, int* i) {
    if (arg != name) return arg.substr(std::strlen(joined));
    return *i + 1 < argc ? argv[++*i] : "";
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
        if (arg == "--list-cameras") {
            command->listCameras = true;
            return true;
        }
        if (arg == kCamera || arg.rfind(kCameraJoined, 0) == 0) {
            const std::string value = OptionValue(arg, kCamera, kCameraJoined, argc, argv, &i);
            if (value.empty()) return Fail(command, "option '--camera' needs a value");
            command->camera = value;
            continue;
        }
        if (arg == kMonitor || arg.rfind(kMonitorJoined, 0) == 0) {
            const std::string value = OptionValue(arg, kMonitor, kMonitorJoined, argc, argv, &i);
            if (value.empty()) return Fail(command, "option '--monitor' needs a value");
            command->monitor = value;
            continue;
        }
        if (arg == kPointer || arg.rfind(kPointerJoined, 0) == 0) {
            const std::string value = OptionValue(arg, kPointer, kPointerJoined, argc, argv, &i);
            if (value.empty()) return Fail(command, "option '--pointer' needs a value");
            if (value == "uinput") {
                command->pointer = kPointerUinput;
            } else if (value == "xtest") {
                command->pointer = kPointerXTest;
            } else {
                return Fail(command, "option '--pointer' takes uinput or xtest, not '" + value + "'");
            }
            continue;
        }
        if (arg[0] == '-') return Fail(command, "unknown option '" + arg + "'");
        return Fail(command, "unexpected argument '" + arg + "'");
    }
    return true;
}
