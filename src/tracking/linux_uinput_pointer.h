// An absolute pointer device of the kernel's own, made through uinput:
// what every Wayland compositor (and X server) reads like a real mouse, so
// that the pointer moves over the whole desktop.
#pragma once

#include <cstdint>

// The device's name, as input tools (libinput list-devices, evtest) show it.
constexpr const char* kUinputPointerName = "Lumidart pointer";
constexpr int32_t kUinputAxisMaximum = 65535;

// Opens path (the uinput node) and creates the device on it: ABS_X and
// ABS_Y over 0..kUinputAxisMaximum, and the three mouse buttons declared,
// which is what makes it an absolute pointer and never pressed. Returns
// its descriptor, or -1 with the errno of the step that failed.
int CreateUinputPointer(const char* path, int* error);
// One move: both axes and the report that delivers them, in one write.
bool WriteUinputMove(int fd, int32_t x, int32_t y);
// Removes the device and closes the descriptor.
void DestroyUinputPointer(int fd);

// The device the worker's moves go to, or -1 for none. Set by the UI
// thread before the worker starts, cleared after it has stopped.
void UseUinputPointer(int fd);
int UinputPointer();
