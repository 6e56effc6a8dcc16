// A small video renderer base: one filter with one input pin "In" that
// accepts what CheckMediaType accepts and hands each sample, at once and
// one at a time, to DoRenderSample while the filter runs. No clock, no
// quality management.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>

class DShowRendererBase;

class DShowRendererInputPin : public IPin, public IMemInputPin {
public:
    explicit DShowRendererInputPin(DShowRendererBase* filter);
    ~DShowRendererInputPin();
    DShowRendererInputPin(const DShowRendererInputPin&) = delete;
    DShowRendererInputPin& operator=(const DShowRendererInputPin&) = delete;

    // IUnknown: the pin lives and dies with its filter.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPin
    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
    STDMETHODIMP ReceiveCanBlock() override;

private:
    void ReleaseConnection();

    DShowRendererBase* filter_;
    IPin* connected_ = nullptr;
    AM_MEDIA_TYPE mediaType_{};
    IMemAllocator* allocator_ = nullptr;
};

class DShowRendererBase : public IBaseFilter {
public:
    explicit DShowRendererBase(const CLSID& classId);
    virtual ~DShowRendererBase();
    DShowRendererBase(const DShowRendererBase&) = delete;
    DShowRendererBase& operator=(const DShowRendererBase&) = delete;

    // IUnknown: created with no reference; the first AddRef takes one.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID* classId) override;

    // IMediaFilter
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

protected:
    // S_OK accepts the type; anything else refuses it.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
    // The type the pin connected with.
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type) = 0;
    // On the delivering thread; the sample stays valid for the call.
    virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;

private:
    friend class DShowRendererInputPin;

    HRESULT Render(IMediaSample* sample);
    bool IsStopped();

    CLSID classId_;
    std::atomic<ULONG> refs_{0};
    // Held for every state change and every render, so that Stop returns
    // only after a render in progress has finished.
    CRITICAL_SECTION lock_;
    FILTER_STATE state_ = State_Stopped;
    IReferenceClock* clock_ = nullptr;
    // Not counted: the graph holds us, not the other way round.
    IFilterGraph* graph_ = nullptr;
    WCHAR name_[MAX_FILTER_NAME] = {};
    DShowRendererInputPin pin_;
};
