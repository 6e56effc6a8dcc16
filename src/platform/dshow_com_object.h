// IUnknown for a COM object that hands out one interface: it starts with
// one reference and deletes itself when the last one goes.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

inline void UncountedComObject() {}

// Created and Destroyed let a DLL count its live objects for DllCanUnloadNow.
template <class Interface, void (*Created)() = UncountedComObject, void (*Destroyed)() = UncountedComObject>
class ComObject : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
            Destroyed();
        }
        return left;
    }

protected:
    ComObject() { Created(); }
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> refs_{1};
};
