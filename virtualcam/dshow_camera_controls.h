// The DirectShow virtual camera's exposure controls: IAMCameraControl
// (exposure, automatic or manual) and IAMVideoProcAmp (gain, brightness)
// over the scene's exposure model. Both live inside the source filter and
// count their references on it.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "virtualcam/camera_controls.h"

class VirtualCameraControl final : public IAMCameraControl {
public:
    VirtualCameraControl(IUnknown* outer, CameraControls* controls) : outer_(outer), controls_(controls) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return outer_->QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }
    STDMETHODIMP GetRange(LONG property, LONG* minimum, LONG* maximum, LONG* step, LONG* initial,
                          LONG* caps) override;
    STDMETHODIMP Set(LONG property, LONG value, LONG flags) override;
    STDMETHODIMP Get(LONG property, LONG* value, LONG* flags) override;

private:
    IUnknown* const outer_;
    CameraControls* const controls_;
};

class VirtualProcAmp final : public IAMVideoProcAmp {
public:
    VirtualProcAmp(IUnknown* outer, CameraControls* controls) : outer_(outer), controls_(controls) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return outer_->QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }
    STDMETHODIMP GetRange(LONG property, LONG* minimum, LONG* maximum, LONG* step, LONG* initial,
                          LONG* caps) override;
    STDMETHODIMP Set(LONG property, LONG value, LONG flags) override;
    STDMETHODIMP Get(LONG property, LONG* value, LONG* flags) override;

private:
    IUnknown* const outer_;
    CameraControls* const controls_;
};
