// What long runs and mode tests read back from a virtual camera: with
// LUMIDART_VIRTUALCAM_STATS naming a file, the camera appends a line to it
// at each start ("mode FORMAT WIDTHxHEIGHT RATE"), stop ("frames N"),
// exposure control set ("control NAME VALUE") and unplug a running stream
// notices ("unplugged").
#pragma once

#include "virtualcam/camera_modes.h"

void NoteCameraMode(const char* format, const CameraMode& mode);
void NoteCameraFrames(unsigned frames);
void NoteCameraControl(const char* name, int value);
void NoteCameraUnplugged();
