#include "virtualcam/camera_controls.h"

#include <algorithm>

#include "virtualcam/camera_stats.h"

const CameraControlInfo kCameraControls[kCameraControlCount] = {
    {"exposure-auto", &SceneSettings::exposureAuto, 0, 1, 1},
    {"exposure", &SceneSettings::exposure, 1, 1000, kExposureUnit},
    {"gain", &SceneSettings::gain, 1, 400, kGainUnit},
    {"brightness", &SceneSettings::brightness, -128, 127, 0},
};

void ResetCameraControls(CameraControls* controls) {
    for (int i = 0; i < kCameraControlCount; ++i) {
        controls->requested[i].store(kCameraControls[i].initial, std::memory_order_relaxed);
        for (auto& frame : controls->history) frame[i] = kCameraControls[i].initial;
    }
}

void SetCameraControl(CameraControls* controls, int index, int32_t value) {
    const CameraControlInfo& info = kCameraControls[index];
    const int32_t clamped = std::clamp(value, info.minimum, info.maximum);
    controls->requested[index].store(clamped, std::memory_order_relaxed);
    NoteCameraControl(info.name, clamped);
}

int32_t GetCameraControl(const CameraControls* controls, int index) {
    return controls->requested[index].load(std::memory_order_relaxed);
}

void ApplyCameraControls(CameraControls* controls, SceneSettings* settings) {
    for (int i = 0; i < kCameraControlCount; ++i) {
        settings->*kCameraControls[i].field = controls->history[0][i];
        for (int f = 0; f + 1 < kCameraControlLag; ++f) controls->history[f][i] = controls->history[f + 1][i];
        controls->history[kCameraControlLag - 1][i] = controls->requested[i].load(std::memory_order_relaxed);
    }
}
