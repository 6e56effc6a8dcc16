// Which way the Linux program moves the pointer, and the uinput device's
// life: made with the console, gone when the program ends (the kernel
// removes it with the last descriptor, however the process ends).
#pragma once

#include <string>

#include "app/command_line.h"

constexpr const char* kUinputNode = "/dev/uinput";

// From the environment as given: XTest unless the option asks for uinput,
// or leaves the choice to the session and the session is Wayland's.
bool WantsUinput(PointerOption option, const char* waylandDisplay, const char* sessionType);
// The one line for the error output when no device could be made on node
// (errno error): what is wrong, how to mend it, and that XTest moves the
// pointer instead.
std::string UinputProblemLine(const char* node, int error);

// From the command line, before the window exists.
void SetPointerOption(PointerOption option);
// UI thread, before the worker starts: makes the device if the session or
// the option wants one; says why on the error output when it cannot.
void StartPointer();
// UI thread, after the worker has stopped.
void StopPointer();
