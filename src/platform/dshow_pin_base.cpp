#include "platform/dshow_pin_base.h"

#include <cwchar>

#include "platform/dshow_filter_base.h"
#include "platform/dshow_media_type.h"

DShowPinBase::DShowPinBase(DShowFilterBase* filter, const wchar_t* name, PIN_DIRECTION direction)
    : owner_(filter), name_(name), direction_(direction) {}

STDMETHODIMP_(ULONG) DShowPinBase::AddRef() { return owner_->AddRef(); }
STDMETHODIMP_(ULONG) DShowPinBase::Release() { return owner_->Release(); }

HRESULT DShowPinBase::CanConnect() {
    if (connected_ != nullptr) return VFW_E_ALREADY_CONNECTED;
    if (!owner_->IsStopped()) return VFW_E_NOT_STOPPED;
    return S_OK;
}

void DShowPinBase::ReleaseConnection() {
    if (connected_ != nullptr) connected_->Release();
    connected_ = nullptr;
}

STDMETHODIMP DShowPinBase::Disconnect() {
    if (!owner_->IsStopped()) return VFW_E_NOT_STOPPED;
    if (connected_ == nullptr) return S_FALSE;
    ReleaseConnection();
    return S_OK;
}

STDMETHODIMP DShowPinBase::ConnectedTo(IPin** pin) {
    if (pin == nullptr) return E_POINTER;
    *pin = connected_;
    if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
    connected_->AddRef();
    return S_OK;
}

STDMETHODIMP DShowPinBase::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (type == nullptr) return E_POINTER;
    if (connected_ == nullptr) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, &ConnectedType()) ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP DShowPinBase::QueryPinInfo(PIN_INFO* info) {
    if (info == nullptr) return E_POINTER;
    info->pFilter = owner_;
    owner_->AddRef();
    info->dir = direction_;
    wcsncpy(info->achName, name_, MAX_PIN_NAME);
    return S_OK;
}

STDMETHODIMP DShowPinBase::QueryDirection(PIN_DIRECTION* direction) {
    if (direction == nullptr) return E_POINTER;
    *direction = direction_;
    return S_OK;
}

STDMETHODIMP DShowPinBase::QueryId(LPWSTR* id) {
    if (id == nullptr) return E_POINTER;
    const size_t bytes = (std::wcslen(name_) + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*id == nullptr) return E_OUTOFMEMORY;
    CopyMemory(*id, name_, bytes);
    return S_OK;
}

STDMETHODIMP DShowPinBase::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT DShowPinBase::StreamControl() const { return direction_ == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }

STDMETHODIMP DShowPinBase::EndOfStream() { return StreamControl(); }
STDMETHODIMP DShowPinBase::BeginFlush() { return StreamControl(); }
STDMETHODIMP DShowPinBase::EndFlush() { return StreamControl(); }
STDMETHODIMP DShowPinBase::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }
