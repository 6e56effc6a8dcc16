// What our input and output pins share: they live and die with their
// filter, have one name and direction, and know the pin they connect to.
#pragma once

#include <windows.h>
#include <dshow.h>

class DShowFilterBase;

class DShowPinBase : public IPin {
public:
    DShowPinBase(DShowFilterBase* filter, const wchar_t* name, PIN_DIRECTION direction);
    virtual ~DShowPinBase() = default;
    DShowPinBase(const DShowPinBase&) = delete;
    DShowPinBase& operator=(const DShowPinBase&) = delete;

    // IUnknown: references count on the filter.
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPin
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    // Stream control flows downstream: only an input pin is sent it.
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    const wchar_t* name() const { return name_; }

protected:
    // S_OK when a connection may be made now.
    HRESULT CanConnect();
    // The type of the connection; asked only while connected.
    virtual const AM_MEDIA_TYPE& ConnectedType() const = 0;
    // Lets go of the connected pin and whatever came with it.
    virtual void ReleaseConnection();

    IPin* connected_ = nullptr;

private:
    DShowFilterBase* owner_;
    const wchar_t* name_;
    PIN_DIRECTION direction_;
    // Input pins take stream control; an output pin refuses it.
    HRESULT StreamControl() const;
};
