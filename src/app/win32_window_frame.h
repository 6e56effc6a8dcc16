// The console's frame on Windows: how much bigger than its client area the
// window is, from the system metrics read once when it is created, and the
// client area the magnifier takes from the window's rectangle.
#pragma once

#include <cstdint>

#include "state/platform.h"

struct WindowFrame {
    int32_t widthAllowance;   // SM_CXFRAME + 2
    int32_t heightAllowance;  // SM_CYFRAME + 2
    int32_t caption;          // SM_CYCAPTION
};

WindowFrame FrameFromMetrics(int32_t sizingFrameX, int32_t sizingFrameY, int32_t captionHeight);
// The outer size for a client area of the given size.
int32_t OuterWidth(const WindowFrame& frame, int32_t clientWidth);
int32_t OuterHeight(const WindowFrame& frame, int32_t clientHeight);
// NOTE: an estimate, not GetClientRect: half the allowance on the left,
// right and bottom, the caption and half the allowance at the top. It is
// what the console has always used to place the magnifier.
PlatformRect ClientAreaOf(const WindowFrame& frame, const PlatformRect& window);
