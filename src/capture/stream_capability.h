// Which of a capture source's stream capabilities the graph applies.
#pragma once

#include <cstdint>

struct StreamCapability {
    int32_t width, height;  // columns and rows, whichever way up
    int64_t frameInterval;  // 100 ns units; 0 or less: not stated
};

// Capability 0 when it has the frame's size; otherwise the first of the
// frame's size with the shortest stated frame interval (an unstated one
// counts as the longest); -1 when none has the frame's size.
int ChooseStreamCapability(const StreamCapability* capabilities, int count);
