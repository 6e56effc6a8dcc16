// Where the screen lies in the camera picture, from frames of it lit white
// and frames of it dark: the difference is high on the screen and low
// around it, whatever the room, the desktop behind or the camera's
// exposure. The screen's four edges are fitted as lines to sub-pixel edge
// points, and the corners are where they meet.
#pragma once

#include <cstdint>

#include "state/tracker_state.h"

struct ScreenCorners {
    // Frame coordinates (x from the left, rows from the bottom; a pixel's
    // centre is its own index), in the quad's order: lower-left,
    // lower-right, upper-left, upper-right.
    double x[4], y[4];
};

// The smallest mean difference per frame (on the scale of red + 2 green +
// blue, 0..1020) between screen and surround that counts as a screen.
constexpr int32_t kMinScreenContrast = 48;

// difference: kFramePixels values, rows bottom-up, the summed brightness
// of `frames` light frames minus that of as many dark frames. False when
// no screen-shaped quad stands out (the camera points elsewhere, the lens
// is covered, the screen reaches past the picture).
bool EstimateScreenCorners(const int32_t* difference, int frames, ScreenCorners* corners);

// The quad (P0x, P0y, ... P3y) of whole pixels next to the corners that
// puts the pointer closest to where the corners say, on a screen of that
// size, over a grid of its pixels: through the mapping tracking solves
// from it, its truncation and the absolute move's round trip, which each
// lose up to a pixel. False unless each corner lies inside the frame, in
// its own quarter.
bool QuadFromScreenCorners(const ScreenCorners& corners, int32_t screenWidth, int32_t screenHeight,
                           int32_t quad[kCornerValues]);
