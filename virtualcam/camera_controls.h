// The exposure controls a virtual camera offers, over the scene's exposure
// model. Like a real camera's, a value set now shows in the picture two
// frames later.
#pragma once

#include <atomic>
#include <cstdint>

#include "virtualcam/scene.h"

enum CameraControlIndex : int {
    kControlExposureAuto,
    kControlExposure,
    kControlGain,
    kControlBrightness,
    kCameraControlCount
};

struct CameraControlInfo {
    const char* name;
    int32_t SceneSettings::*field;
    int32_t minimum, maximum, initial;
};

extern const CameraControlInfo kCameraControls[kCameraControlCount];

// Frames between a set and the first frame that shows it.
constexpr int kCameraControlLag = 2;

// Set from any thread; the streaming thread applies them frame by frame.
struct CameraControls {
    std::atomic<int32_t> requested[kCameraControlCount];
    // Streaming thread only: what was requested at each of the last frames,
    // newest last.
    int32_t history[kCameraControlLag][kCameraControlCount];
};

void ResetCameraControls(CameraControls* controls);
// Clamped to the control's range.
void SetCameraControl(CameraControls* controls, int index, int32_t value);
int32_t GetCameraControl(const CameraControls* controls, int index);
// Streaming thread, once before each frame renders: the settings take what
// was requested kCameraControlLag frames ago.
void ApplyCameraControls(CameraControls* controls, SceneSettings* settings);
