// Key A: the console finds the screen itself. The target monitor is covered
// by a black and then a white pattern; the worker sums a few frames of
// each, and the screen's corners in their difference become the quad, as
// four clicks would set it. A timer on the UI thread steps the sequence.
#pragma once

#include <cstdint>

// Frames let pass after each pattern change before any is summed: the
// pattern reaches the screen, the camera applies it a frame or two late
// and its automatic exposure follows the change.
constexpr uint32_t kCalibrationSettleFrames = 6;
constexpr uint32_t kCalibrationSumFrames = 4;
constexpr int kCalibrationTickMs = 10;
// A camera that delivers nothing for this long is lost: the calibration
// fails.
constexpr int kCalibrationStallMs = 1000;
// How long the console shows that a calibration failed.
constexpr int kCalibrationNoticeMs = 2000;

// UI thread. A starts a calibration (Preview or Threshold view, with a
// capture source), or ends the one under way.
void ToggleAutoCalibration();
// Ends a calibration under way, the corners as they were; true if one was.
bool StopAutoCalibration();
bool AutoCalibrationRunning();
// The platform's calibration timer has fired.
void OnCalibrationTimer();

// Worker, in a Preview or Threshold-view pass before anything is drawn:
// the frame is summed if the sequence waits for it.
void OfferCalibrationFrame(const uint32_t* frame);
// Worker: marks the picture while a failure is shown.
void DrawCalibrationNotice(uint32_t* frame);
