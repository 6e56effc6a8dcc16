// Reading the virtual camera's control file safely on a shared machine:
// whatever sits at the path (a directory, a pipe, a device, a huge file)
// is refused at once instead of stalling or flooding the renderer.
#pragma once

#include <cstddef>
#include <string>

// Larger control files are refused: a few hundred bytes of lines is normal.
constexpr size_t kControlFileLimit = 64 * 1024;

// The whole file into *text, if it is a regular file of at most
// kControlFileLimit bytes (on POSIX also owned by the current user), opened
// without blocking. False otherwise, *text then unspecified. Never throws.
bool ReadControlFile(const std::string& path, std::string* text);

// The end of ReadControlFile on every platform: *text := the length bytes
// read, unless they exceed kControlFileLimit. Never throws.
bool TakeControlText(const char* bytes, size_t length, std::string* text);

// The control file's path when LUMIDART_VIRTUALCAM_CONTROL is unset: one of
// the current user's own, not a fixed name that anyone could plant.
std::string DefaultControlPath();
