#include "virtualcam/dshow_camera_controls.h"

namespace {

HRESULT Range(int index, LONG caps, LONG* minimum, LONG* maximum, LONG* step, LONG* initial, LONG* capsOut) {
    if (minimum == nullptr || maximum == nullptr || step == nullptr || initial == nullptr || capsOut == nullptr) {
        return E_POINTER;
    }
    const CameraControlInfo& info = kCameraControls[index];
    *minimum = info.minimum;
    *maximum = info.maximum;
    *step = 1;
    *initial = info.initial;
    *capsOut = caps;
    return S_OK;
}

// The proc amp's properties that the model has, or -1.
int ProcAmpIndex(LONG property) {
    if (property == VideoProcAmp_Gain) return kControlGain;
    if (property == VideoProcAmp_Brightness) return kControlBrightness;
    return -1;
}

}  // namespace

STDMETHODIMP VirtualCameraControl::GetRange(LONG property, LONG* minimum, LONG* maximum, LONG* step, LONG* initial,
                                            LONG* caps) {
    if (property != CameraControl_Exposure) return E_PROP_ID_UNSUPPORTED;
    return Range(kControlExposure, CameraControl_Flags_Auto | CameraControl_Flags_Manual, minimum, maximum, step,
                 initial, caps);
}

STDMETHODIMP VirtualCameraControl::Set(LONG property, LONG value, LONG flags) {
    if (property != CameraControl_Exposure) return E_PROP_ID_UNSUPPORTED;
    const int32_t automatic = (flags & CameraControl_Flags_Auto) != 0 ? 1 : 0;
    if (GetCameraControl(controls_, kControlExposureAuto) != automatic) {
        SetCameraControl(controls_, kControlExposureAuto, automatic);
    }
    if (automatic == 0) SetCameraControl(controls_, kControlExposure, value);
    return S_OK;
}

STDMETHODIMP VirtualCameraControl::Get(LONG property, LONG* value, LONG* flags) {
    if (value == nullptr || flags == nullptr) return E_POINTER;
    if (property != CameraControl_Exposure) return E_PROP_ID_UNSUPPORTED;
    *value = GetCameraControl(controls_, kControlExposure);
    *flags = GetCameraControl(controls_, kControlExposureAuto) != 0 ? CameraControl_Flags_Auto
                                                                    : CameraControl_Flags_Manual;
    return S_OK;
}

STDMETHODIMP VirtualProcAmp::GetRange(LONG property, LONG* minimum, LONG* maximum, LONG* step, LONG* initial,
                                      LONG* caps) {
    const int index = ProcAmpIndex(property);
    if (index < 0) return E_PROP_ID_UNSUPPORTED;
    return Range(index, VideoProcAmp_Flags_Manual, minimum, maximum, step, initial, caps);
}

STDMETHODIMP VirtualProcAmp::Set(LONG property, LONG value, LONG) {
    const int index = ProcAmpIndex(property);
    if (index < 0) return E_PROP_ID_UNSUPPORTED;
    SetCameraControl(controls_, index, value);
    return S_OK;
}

STDMETHODIMP VirtualProcAmp::Get(LONG property, LONG* value, LONG* flags) {
    if (value == nullptr || flags == nullptr) return E_POINTER;
    const int index = ProcAmpIndex(property);
    if (index < 0) return E_PROP_ID_UNSUPPORTED;
    *value = GetCameraControl(controls_, index);
    *flags = VideoProcAmp_Flags_Manual;
    return S_OK;
}
