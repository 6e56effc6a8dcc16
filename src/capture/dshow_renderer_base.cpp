#include "capture/dshow_renderer_base.h"

#include "platform/dshow_enumerator.h"
#include "platform/dshow_media_type.h"

// --- Input pin -------------------------------------------------------------

DShowRendererInputPin::DShowRendererInputPin(DShowRendererBase* filter)
    : DShowPinBase(filter, L"In", PINDIR_INPUT), filter_(filter) {}

DShowRendererInputPin::~DShowRendererInputPin() {
    ReleaseConnection();
    if (allocator_ != nullptr) allocator_->Release();
}

void DShowRendererInputPin::ReleaseConnection() {
    DShowPinBase::ReleaseConnection();
    FreeMediaTypeContents(&mediaType_);
    mediaType_ = AM_MEDIA_TYPE{};
}

STDMETHODIMP DShowRendererInputPin::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *out = static_cast<IPin*>(this);
    } else if (iid == IID_IMemInputPin) {
        *out = static_cast<IMemInputPin*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP DShowRendererInputPin::Connect(IPin*, const AM_MEDIA_TYPE*) {
    // An input pin is connected to, never connects.
    return E_UNEXPECTED;
}

STDMETHODIMP DShowRendererInputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (connector == nullptr || type == nullptr) return E_POINTER;
    const HRESULT connectable = CanConnect();
    if (connectable != S_OK) return connectable;
    PIN_DIRECTION direction = PINDIR_INPUT;
    connector->QueryDirection(&direction);
    if (direction != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    const HRESULT accepted = filter_->CheckMediaType(type);
    if (accepted != S_OK) return FAILED(accepted) ? accepted : VFW_E_TYPE_NOT_ACCEPTED;
    if (!CopyMediaType(&mediaType_, type)) return E_OUTOFMEMORY;
    connected_ = connector;
    connected_->AddRef();
    filter_->SetMediaType(&mediaType_);
    return S_OK;
}

STDMETHODIMP DShowRendererInputPin::QueryAccept(const AM_MEDIA_TYPE* type) {
    if (type == nullptr) return E_POINTER;
    return filter_->CheckMediaType(type) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP DShowRendererInputPin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (types == nullptr) return E_POINTER;
    // No proposals of our own: only what the upstream pin offers is judged.
    *types = new DShowMediaTypeEnumerator({}, static_cast<IPin*>(this));
    return S_OK;
}

STDMETHODIMP DShowRendererInputPin::GetAllocator(IMemAllocator** allocator) {
    if (allocator == nullptr) return E_POINTER;
    if (allocator_ == nullptr) {
        const HRESULT created = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                                 IID_IMemAllocator, reinterpret_cast<void**>(&allocator_));
        if (FAILED(created)) {
            allocator_ = nullptr;
            *allocator = nullptr;
            return created;
        }
    }
    *allocator = allocator_;
    allocator_->AddRef();
    return S_OK;
}

STDMETHODIMP DShowRendererInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL) {
    if (allocator == nullptr) return E_POINTER;
    allocator->AddRef();
    if (allocator_ != nullptr) allocator_->Release();
    allocator_ = allocator;
    return S_OK;
}

STDMETHODIMP DShowRendererInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

STDMETHODIMP DShowRendererInputPin::Receive(IMediaSample* sample) {
    if (sample == nullptr) return E_POINTER;
    return filter_->Render(sample);
}

STDMETHODIMP DShowRendererInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
    if (samples == nullptr || processed == nullptr) return E_POINTER;
    *processed = 0;
    for (long i = 0; i < count; ++i) {
        const HRESULT result = filter_->Render(samples[i]);
        if (result != S_OK) return result;
        ++*processed;
    }
    return S_OK;
}

STDMETHODIMP DShowRendererInputPin::ReceiveCanBlock() { return S_FALSE; }

// --- Filter ----------------------------------------------------------------

DShowRendererBase::DShowRendererBase(const CLSID& classId) : DShowFilterBase(classId, false), pin_(this) {}

HRESULT DShowRendererBase::Render(IMediaSample* sample) {
    EnterCriticalSection(&lock_);
    if (state_ == State_Running) DoRenderSample(sample);
    LeaveCriticalSection(&lock_);
    return S_OK;
}
