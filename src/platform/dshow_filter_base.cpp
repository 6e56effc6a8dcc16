#include "platform/dshow_filter_base.h"

#include <cwchar>

#include "platform/dshow_enumerator.h"

DShowFilterBase::DShowFilterBase(const CLSID& classId, bool live) : classId_(classId), live_(live) {
    InitializeCriticalSection(&lock_);
}

DShowFilterBase::~DShowFilterBase() {
    if (clock_ != nullptr) clock_->Release();
    DeleteCriticalSection(&lock_);
}

STDMETHODIMP DShowFilterBase::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter) {
        *out = static_cast<IBaseFilter*>(this);
    } else {
        *out = OtherInterface(iid);
        if (*out == nullptr) return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) DShowFilterBase::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

STDMETHODIMP_(ULONG) DShowFilterBase::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP DShowFilterBase::GetClassID(CLSID* classId) {
    if (classId == nullptr) return E_POINTER;
    *classId = classId_;
    return S_OK;
}

HRESULT DShowFilterBase::ChangeState(FILTER_STATE to) {
    EnterCriticalSection(&lock_);
    StateChanging(state_, to);
    state_ = to;
    LeaveCriticalSection(&lock_);
    return to == State_Paused && live_ ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP DShowFilterBase::Stop() { return ChangeState(State_Stopped); }
STDMETHODIMP DShowFilterBase::Pause() { return ChangeState(State_Paused); }
STDMETHODIMP DShowFilterBase::Run(REFERENCE_TIME) { return ChangeState(State_Running); }

STDMETHODIMP DShowFilterBase::GetState(DWORD, FILTER_STATE* state) {
    if (state == nullptr) return E_POINTER;
    EnterCriticalSection(&lock_);
    *state = state_;
    LeaveCriticalSection(&lock_);
    return *state == State_Paused && live_ ? VFW_S_CANT_CUE : S_OK;
}

bool DShowFilterBase::IsStopped() {
    EnterCriticalSection(&lock_);
    const bool stopped = state_ == State_Stopped;
    LeaveCriticalSection(&lock_);
    return stopped;
}

STDMETHODIMP DShowFilterBase::SetSyncSource(IReferenceClock* clock) {
    if (clock != nullptr) clock->AddRef();
    if (clock_ != nullptr) clock_->Release();
    clock_ = clock;
    return S_OK;
}

STDMETHODIMP DShowFilterBase::GetSyncSource(IReferenceClock** clock) {
    if (clock == nullptr) return E_POINTER;
    *clock = clock_;
    if (clock_ != nullptr) clock_->AddRef();
    return S_OK;
}

STDMETHODIMP DShowFilterBase::EnumPins(IEnumPins** pins) {
    if (pins == nullptr) return E_POINTER;
    *pins = new DShowPinEnumerator({static_cast<IPin*>(Pin())}, static_cast<IBaseFilter*>(this));
    return S_OK;
}

STDMETHODIMP DShowFilterBase::FindPin(LPCWSTR id, IPin** pin) {
    if (id == nullptr || pin == nullptr) return E_POINTER;
    if (std::wcscmp(id, Pin()->name()) != 0) {
        *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    *pin = Pin();
    (*pin)->AddRef();
    return S_OK;
}

STDMETHODIMP DShowFilterBase::QueryFilterInfo(FILTER_INFO* info) {
    if (info == nullptr) return E_POINTER;
    wcsncpy(info->achName, name_, MAX_FILTER_NAME);
    info->pGraph = graph_;
    if (graph_ != nullptr) graph_->AddRef();
    return S_OK;
}

STDMETHODIMP DShowFilterBase::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    graph_ = graph;
    name_[0] = L'\0';
    if (name != nullptr) {
        wcsncpy(name_, name, MAX_FILTER_NAME - 1);
        name_[MAX_FILTER_NAME - 1] = L'\0';
    }
    return S_OK;
}

STDMETHODIMP DShowFilterBase::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

void DShowFilterBase::NotifyGraph(long code, LONG_PTR first, LONG_PTR second) {
    if (graph_ == nullptr) return;
    IMediaEventSink* sink = nullptr;
    graph_->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink));
    if (sink == nullptr) return;
    sink->Notify(code, first, second);
    sink->Release();
}
