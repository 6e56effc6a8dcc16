// What our filters share: one pin, the stopped/paused/running state under
// one lock, the reference clock and the graph the filter joined. No clock
// of its own, no quality management.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>

#include "platform/dshow_pin_base.h"

class DShowFilterBase : public IBaseFilter {
public:
    // A live source has nothing to cue while paused, and says so.
    DShowFilterBase(const CLSID& classId, bool live);
    virtual ~DShowFilterBase();
    DShowFilterBase(const DShowFilterBase&) = delete;
    DShowFilterBase& operator=(const DShowFilterBase&) = delete;

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

    bool IsStopped();

protected:
    virtual DShowPinBase* Pin() = 0;
    // Any further interface the filter hands out (not yet counted), or null.
    virtual void* OtherInterface(REFIID) { return nullptr; }
    // Under the state lock, before the state changes.
    virtual void StateChanging(FILTER_STATE, FILTER_STATE) {}
    // Passes an event to the graph's owner, as a device filter reports its
    // loss; nothing while the filter is in no graph. Any thread that the
    // filter ends before it leaves its graph.
    void NotifyGraph(long code, LONG_PTR first, LONG_PTR second);

    // Held for every state change, and by whatever must not overlap one.
    CRITICAL_SECTION lock_;
    FILTER_STATE state_ = State_Stopped;

private:
    HRESULT ChangeState(FILTER_STATE to);

    const CLSID classId_;
    const bool live_;
    std::atomic<ULONG> refs_{0};
    IReferenceClock* clock_ = nullptr;
    // Not counted: the graph holds us, not the other way round.
    IFilterGraph* graph_ = nullptr;
    WCHAR name_[MAX_FILTER_NAME] = {};
};
