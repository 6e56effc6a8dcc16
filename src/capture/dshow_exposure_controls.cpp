// The exposure assistant's hold on the camera on Windows: the capture
// source's IAMCameraControl exposure, set with the manual flag, or else
// its IAMVideoProcAmp gain, or else brightness. UI thread only (COM).
#include <windows.h>
#include <dshow.h>

#include "capture/dshow_capture_graph.h"
#include "state/platform.h"

namespace {

// Without an exposure, in this order.
const LONG kProcAmpProperties[] = {VideoProcAmp_Gain, VideoProcAmp_Brightness};

IAMCameraControl* g_camera;
IAMVideoProcAmp* g_procAmp;
LONG g_property;

template <class Interface>
Interface* Query(IBaseFilter* source, REFIID iid) {
    Interface* found = nullptr;
    if (FAILED(source->QueryInterface(iid, reinterpret_cast<void**>(&found)))) return nullptr;
    return found;
}

// A property that can be set by hand, its range and its value now.
template <class Interface>
bool Settable(Interface* controls, LONG property, LONG manual, PlatformExposureControl* control) {
    LONG minimum = 0, maximum = 0, step = 0, initial = 0, caps = 0, value = 0, flags = 0;
    if (FAILED(controls->GetRange(property, &minimum, &maximum, &step, &initial, &caps))) return false;
    if ((caps & manual) == 0 || minimum > maximum) return false;
    if (FAILED(controls->Get(property, &value, &flags))) value = initial;
    *control = {minimum, maximum, step > 0 ? step : 1, value};
    return true;
}

}  // namespace

bool PlatformExposureBegin(PlatformExposureControl* control) {
    IBaseFilter* const source = CaptureSourceFilter();
    if (source == nullptr) return false;
    g_camera = Query<IAMCameraControl>(source, IID_IAMCameraControl);
    if (g_camera != nullptr && Settable(g_camera, CameraControl_Exposure, CameraControl_Flags_Manual, control)) {
        g_property = CameraControl_Exposure;
        // Out of automatic exposure, where it is.
        g_camera->Set(CameraControl_Exposure, control->value, CameraControl_Flags_Manual);
        return true;
    }
    if (g_camera != nullptr) g_camera->Release();
    g_camera = nullptr;
    g_procAmp = Query<IAMVideoProcAmp>(source, IID_IAMVideoProcAmp);
    if (g_procAmp != nullptr) {
        for (LONG property : kProcAmpProperties) {
            if (Settable(g_procAmp, property, VideoProcAmp_Flags_Manual, control)) {
                g_property = property;
                return true;
            }
        }
        g_procAmp->Release();
        g_procAmp = nullptr;
    }
    return false;
}

void PlatformExposureSet(int32_t value) {
    if (g_camera != nullptr) g_camera->Set(g_property, value, CameraControl_Flags_Manual);
    if (g_procAmp != nullptr) g_procAmp->Set(g_property, value, VideoProcAmp_Flags_Manual);
}

void PlatformExposureEnd() {
    if (g_camera != nullptr) g_camera->Release();
    if (g_procAmp != nullptr) g_procAmp->Release();
    g_camera = nullptr;
    g_procAmp = nullptr;
}
