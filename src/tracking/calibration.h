// The calibration quad, its settings file and the Search box derived from it.
#pragma once

#include <cstdint>

#include "state/tracker_state.h"

constexpr const char* kSettingsFileName = "Lumidart.set";
constexpr int kSettingsFileBytes = 16;

// Corners from the settings file, or the defaults when it is missing, short
// or unreadable.
void LoadCalibration();
// Writes the quad; a failed save leaves the previous file untouched.
void SaveCalibration();
// A left-button press at client (clientX, clientY) replaces the corner of
// the quarter it falls in. A press outside the 640 x 480 picture sets nothing.
void SetCorner(uint16_t clientX, uint16_t clientY);
void UpdateSearchBox();
// Replaces all four corners at once (P0x, P0y, ... P3y), as four clicks
// would: CornersDirty is set and the Search box follows.
void SetQuad(const int32_t quad[kCornerValues]);

// The file image of the current quad, and the quad from an image.
void EncodeCalibration(uint8_t bytes[kSettingsFileBytes]);
void DecodeCalibration(const uint8_t bytes[kSettingsFileBytes]);
void SetDefaultCalibration();
