// The projective mapping from frame coordinates to screen pixels.
#pragma once

#include "state/tracker_state.h"

// Solves the six coefficients from the quad and the screen size. UI thread,
// before Mode becomes Tracking.
void SolveMapping();
// The screen point of the spot, with 0 <= x <= W and 0 <= y <= H whatever
// the coefficients hold.
ScreenPoint MapSpot(SpotSums sums);
