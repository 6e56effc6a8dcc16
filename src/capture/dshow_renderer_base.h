// A small video renderer base: one filter with one input pin "In" that
// accepts what CheckMediaType accepts and hands each sample, at once and
// one at a time, to DoRenderSample while the filter runs.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "platform/dshow_filter_base.h"
#include "platform/dshow_pin_base.h"

class DShowRendererBase;

class DShowRendererInputPin : public DShowPinBase, public IMemInputPin {
public:
    explicit DShowRendererInputPin(DShowRendererBase* filter);
    ~DShowRendererInputPin();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return DShowPinBase::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return DShowPinBase::Release(); }

    // IPin
    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
    STDMETHODIMP ReceiveCanBlock() override;

private:
    const AM_MEDIA_TYPE& ConnectedType() const override { return mediaType_; }
    void ReleaseConnection() override;

    DShowRendererBase* filter_;
    AM_MEDIA_TYPE mediaType_{};
    IMemAllocator* allocator_ = nullptr;
};

class DShowRendererBase : public DShowFilterBase {
public:
    explicit DShowRendererBase(const CLSID& classId);

protected:
    // S_OK accepts the type; anything else refuses it.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
    // The type the pin connected with.
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type) = 0;
    // On the delivering thread; the sample stays valid for the call.
    virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;

private:
    friend class DShowRendererInputPin;

    DShowPinBase* Pin() override { return &pin_; }
    // Under the state lock, so that Stop returns only after a render in
    // progress has finished.
    HRESULT Render(IMediaSample* sample);

    DShowRendererInputPin pin_;
};
