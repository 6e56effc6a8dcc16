// The projective mapping from frame coordinates to screen pixels.
#pragma once

#include "state/tracker_state.h"

// Solves the six coefficients from the quad and the screen size. UI thread,
// before Mode becomes Tracking.
void SolveMapping();
// Replaces the Spot sums (twice the spot's centre) by a screen point with
// 0 <= x <= W and 0 <= y <= H, whatever the coefficients hold.
void MapSpot(SpotRecord* spot);
