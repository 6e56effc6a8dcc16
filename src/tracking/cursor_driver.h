// Smooths the mapped spot position and moves the system cursor there.
#pragma once

#include <cstdint>

constexpr int32_t kSmoothingWindow = 8;
constexpr int32_t kAbsoluteRange = 65535;

// Worker thread only. (x, y) are screen pixels within 0..W and 0..H.
void DriveCursor(int32_t x, int32_t y);
// Anchors the smoothing at the screen centre; UI thread, at tracking start.
void CentreSmoothedCursor();
// x scaled from 0..size to 0..65535, as the 32-bit formula would give it
// where that does not overflow.
int32_t ScaleToAbsolute(int32_t value, int32_t size);
