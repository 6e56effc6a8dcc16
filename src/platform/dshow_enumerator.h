// A fixed-list enumerator for the framework's IEnumPins and
// IEnumMediaTypes, which differ only in the item they hand out.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <vector>

#include "platform/dshow_com_object.h"
#include "platform/dshow_media_type.h"

struct PinItems {
    using Item = IPin*;
    static Item Hand(IPin* pin) {
        pin->AddRef();
        return pin;
    }
    static void Keep(IPin* pin) { pin->AddRef(); }
    static void Drop(IPin* pin) { pin->Release(); }
};

struct MediaTypeItems {
    using Item = AM_MEDIA_TYPE*;
    static Item Hand(const AM_MEDIA_TYPE* type) { return CreateMediaTypeCopy(type); }
    static void Keep(AM_MEDIA_TYPE*) {}
    static void Drop(AM_MEDIA_TYPE*) {}
};

// Media types handed to the enumerator must outlive it.
template <class Interface, class Items>
class DShowEnumerator final : public ComObject<Interface> {
public:
    using Item = typename Items::Item;

    DShowEnumerator(const std::vector<Item>& items, IUnknown* owner, size_t position = 0)
        : items_(items), owner_(owner), position_(position) {
        for (Item item : items_) Items::Keep(item);
        owner_->AddRef();
    }

    STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
        if (out == nullptr) return E_POINTER;
        if (count > 1 && fetched == nullptr) return E_INVALIDARG;
        ULONG done = 0;
        while (done < count && position_ < items_.size()) {
            out[done] = Items::Hand(items_[position_]);
            if (out[done] == nullptr) break;
            ++done;
            ++position_;
        }
        if (fetched != nullptr) *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        position_ += count;
        if (position_ > items_.size()) {
            position_ = items_.size();
            return S_FALSE;
        }
        return S_OK;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Interface** out) override {
        if (out == nullptr) return E_POINTER;
        *out = new DShowEnumerator(items_, owner_, position_);
        return S_OK;
    }

private:
    ~DShowEnumerator() {
        for (Item item : items_) Items::Drop(item);
        owner_->Release();
    }

    std::vector<Item> items_;
    IUnknown* owner_;
    size_t position_;
};

using DShowPinEnumerator = DShowEnumerator<IEnumPins, PinItems>;
using DShowMediaTypeEnumerator = DShowEnumerator<IEnumMediaTypes, MediaTypeItems>;
