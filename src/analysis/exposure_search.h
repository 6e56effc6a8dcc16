// The exposure assistant: with the laser off, it turns the camera's
// exposure (or else its gain, or else its brightness) down to the highest
// setting at which no frame shows a red above the limit inside the Search
// box, so that only the laser reaches the spot level. A binary search over
// the control's values, stepped by a timer on the UI thread.
#pragma once

#include <cstdint>

#include "state/platform.h"

// The highest red a frame may show inside the box: a margin below the
// spot level for the noise of a live picture.
constexpr uint32_t kExposureRedLimit = 200;
// Cameras apply a control a frame or two late, and a frame or so is in
// flight: the frames counted this many after a change are not judged.
constexpr uint32_t kExposureSettleFrames = 3;
// Judged frames in a row that must all stay at or below the limit.
constexpr uint32_t kExposureStableFrames = 3;
constexpr int kExposureTickMs = 5;
// A camera that delivers nothing for this long ends the search.
constexpr int kExposureStallMs = 2000;

// One search over a control's values, counted in steps from its minimum.
struct ExposureSearch {
    PlatformExposureControl control;
    // 64-bit: a control may span the whole 32-bit range.
    int64_t low, high;   // the answer lies in low..high; low is the best known
    int64_t trying;      // the step the camera was last set to
    uint32_t changedAt;  // the frame count when it was set
    uint32_t seen;       // the frame count at the last look
    uint32_t good;       // judged frames since the change, all within the limit
};

// Begins a search between the control's minimum and its current value;
// returns the first step to set (the current one when there is nothing to
// search).
int64_t BeginExposureSearch(ExposureSearch* s, const PlatformExposureControl& control, uint32_t frames);
// Frames counted up to `frames` (wrapping at 24 bits) with `peak` the
// highest red among those since the last look. Sets *next to the step to set
// and returns true when the camera must change; *done when the search is
// over (then *next, if set, is the answer).
bool JudgeExposureFrames(ExposureSearch* s, uint32_t frames, uint32_t peak, int64_t* next, bool* done);
int32_t ExposureStepValue(const ExposureSearch& s, int64_t step);

// The console's side, UI thread: E starts the search, or stops it if it
// runs. Starting needs Preview or Threshold view and a capture source, and
// shows the Threshold view.
void ToggleExposureSearch();
// Leaves the camera where the search has got to.
void StopExposureSearch();
bool ExposureSearchRunning();
// The platform's exposure timer has fired: one look at the frames.
void OnExposureTimer();
