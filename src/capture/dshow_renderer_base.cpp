#include "capture/dshow_renderer_base.h"

#include <cwchar>
#include <vector>

#include "platform/dshow_enumerator.h"
#include "platform/dshow_media_type.h"

namespace {

constexpr const wchar_t* kPinName = L"In";

LPWSTR TaskString(const wchar_t* text) {
    const size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (copy != nullptr) CopyMemory(copy, text, bytes);
    return copy;
}

}  // namespace

// --- Input pin -------------------------------------------------------------

DShowRendererInputPin::DShowRendererInputPin(DShowRendererBase* filter) : filter_(filter) {}

DShowRendererInputPin::~DShowRendererInputPin() {
    ReleaseConnection();
    if (allocator_ != nullptr) allocator_->Release();
}

void DShowRendererInputPin::ReleaseConnection() {
    if (connected_ != nullptr) connected_->Release();
    connected_ = nullptr;
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

STDMETHODIMP_(ULONG) DShowRendererInputPin::AddRef() { return filter_->AddRef(); }
STDMETHODIMP_(ULONG) DShowRendererInputPin::Release() { return filter_->Release(); }

STDMETHODIMP DShowRendererInputPin::Connect(IPin*, const AM_MEDIA_TYPE*) {
    // An input pin is connected to, never connects.
    return E_UNEXPECTED;
}

STDMETHODIMP DShowRendererInputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (connector == nullptr || type == nullptr) return E_POINTER;
    if (connected_ != nullptr) return VFW_E_ALREADY_CONNECTED;
    if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
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

STDMETHODIMP DShowRendererInputPin::Disconnect() {
    if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
    if (connected_ == nullptr) return S_FALSE;
    ReleaseConnection();
    return S_OK;
}

STDMETHODIMP DShowRendererInputPin::ConnectedTo(IPin** pin) {
    if (pin == nullptr) return E_POINTER;
    *pin = connected_;
    if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
    connected_->AddRef();
    return S_OK;
}

STDMETHODIMP DShowRendererInputPin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (type == nullptr) return E_POINTER;
    if (connected_ == nullptr) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, &mediaType_) ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP DShowRendererInputPin::QueryPinInfo(PIN_INFO* info) {
    if (info == nullptr) return E_POINTER;
    info->pFilter = filter_;
    filter_->AddRef();
    info->dir = PINDIR_INPUT;
    wcsncpy(info->achName, kPinName, MAX_PIN_NAME);
    return S_OK;
}

STDMETHODIMP DShowRendererInputPin::QueryDirection(PIN_DIRECTION* direction) {
    if (direction == nullptr) return E_POINTER;
    *direction = PINDIR_INPUT;
    return S_OK;
}

STDMETHODIMP DShowRendererInputPin::QueryId(LPWSTR* id) {
    if (id == nullptr) return E_POINTER;
    *id = TaskString(kPinName);
    return *id != nullptr ? S_OK : E_OUTOFMEMORY;
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

STDMETHODIMP DShowRendererInputPin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }
STDMETHODIMP DShowRendererInputPin::EndOfStream() { return S_OK; }
STDMETHODIMP DShowRendererInputPin::BeginFlush() { return S_OK; }
STDMETHODIMP DShowRendererInputPin::EndFlush() { return S_OK; }
STDMETHODIMP DShowRendererInputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

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

DShowRendererBase::DShowRendererBase(const CLSID& classId) : classId_(classId), pin_(this) {
    InitializeCriticalSection(&lock_);
}

DShowRendererBase::~DShowRendererBase() {
    if (clock_ != nullptr) clock_->Release();
    DeleteCriticalSection(&lock_);
}

STDMETHODIMP DShowRendererBase::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter) {
        *out = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) DShowRendererBase::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) DShowRendererBase::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP DShowRendererBase::GetClassID(CLSID* classId) {
    if (classId == nullptr) return E_POINTER;
    *classId = classId_;
    return S_OK;
}

STDMETHODIMP DShowRendererBase::Stop() {
    EnterCriticalSection(&lock_);
    state_ = State_Stopped;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP DShowRendererBase::Pause() {
    EnterCriticalSection(&lock_);
    state_ = State_Paused;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP DShowRendererBase::Run(REFERENCE_TIME) {
    EnterCriticalSection(&lock_);
    state_ = State_Running;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP DShowRendererBase::GetState(DWORD, FILTER_STATE* state) {
    if (state == nullptr) return E_POINTER;
    EnterCriticalSection(&lock_);
    *state = state_;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP DShowRendererBase::SetSyncSource(IReferenceClock* clock) {
    if (clock != nullptr) clock->AddRef();
    if (clock_ != nullptr) clock_->Release();
    clock_ = clock;
    return S_OK;
}

STDMETHODIMP DShowRendererBase::GetSyncSource(IReferenceClock** clock) {
    if (clock == nullptr) return E_POINTER;
    *clock = clock_;
    if (clock_ != nullptr) clock_->AddRef();
    return S_OK;
}

STDMETHODIMP DShowRendererBase::EnumPins(IEnumPins** pins) {
    if (pins == nullptr) return E_POINTER;
    *pins = new DShowPinEnumerator({static_cast<IPin*>(&pin_)}, static_cast<IBaseFilter*>(this));
    return S_OK;
}

STDMETHODIMP DShowRendererBase::FindPin(LPCWSTR id, IPin** pin) {
    if (id == nullptr || pin == nullptr) return E_POINTER;
    if (std::wcscmp(id, kPinName) != 0) {
        *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    *pin = &pin_;
    pin_.AddRef();
    return S_OK;
}

STDMETHODIMP DShowRendererBase::QueryFilterInfo(FILTER_INFO* info) {
    if (info == nullptr) return E_POINTER;
    wcsncpy(info->achName, name_, MAX_FILTER_NAME);
    info->pGraph = graph_;
    if (graph_ != nullptr) graph_->AddRef();
    return S_OK;
}

STDMETHODIMP DShowRendererBase::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    graph_ = graph;
    name_[0] = L'\0';
    if (name != nullptr) {
        wcsncpy(name_, name, MAX_FILTER_NAME - 1);
        name_[MAX_FILTER_NAME - 1] = L'\0';
    }
    return S_OK;
}

STDMETHODIMP DShowRendererBase::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

HRESULT DShowRendererBase::Render(IMediaSample* sample) {
    EnterCriticalSection(&lock_);
    if (state_ == State_Running) DoRenderSample(sample);
    LeaveCriticalSection(&lock_);
    return S_OK;
}

bool DShowRendererBase::IsStopped() {
    EnterCriticalSection(&lock_);
    const bool stopped = state_ == State_Stopped;
    LeaveCriticalSection(&lock_);
    return stopped;
}
