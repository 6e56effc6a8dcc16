// Descriptors a library left open on a device that went away.
#pragma once

#include <string>

// The device's path with links resolved, or empty if it cannot be.
std::string ResolvedDevicePath(const char* path);

// Points every descriptor of this process still open on the device at
// /dev/null instead; returns how many. Only for a device none of our own
// code holds any more: the descriptor numbers stay valid (a later close or
// ioctl by their owner does no harm), but the device is let go.
int ReleaseDeviceHandles(const std::string& resolvedPath);
