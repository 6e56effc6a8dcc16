// Finds the brightest red spot in the Search box of a frame.
#pragma once

#include <cstdint>

#include "state/tracker_state.h"

constexpr uint32_t kSpotFloor = 224u << 16;
constexpr uint32_t kRedMask = 0x00FF0000u;

struct SpotResult {
    bool found;
    int32_t sumX, sumY;  // lowest + highest column, lowest + highest row
};

// The bounding box of every pixel in the box whose red equals the highest
// red there, if that red exceeds 224. The box is clipped to the frame first.
SpotResult DetectSpot(const uint32_t* frame, SearchBox box);

// The highest red (0..255) in the box, clipped to the frame; 0 for an
// empty box.
uint32_t HighestRedInBox(const uint32_t* frame, SearchBox box);

// The Search box limited to columns 0..639 and rows 0..479 (possibly empty).
SearchBox ClipToFrame(SearchBox box);
