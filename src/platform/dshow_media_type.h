// Copying and freeing DirectShow media types, as the framework requires:
// the format block and the structure itself are task memory.
#pragma once

#include <windows.h>
#include <dshow.h>

inline void FreeMediaTypeContents(AM_MEDIA_TYPE* type) {
    if (type->cbFormat != 0) CoTaskMemFree(type->pbFormat);
    type->cbFormat = 0;
    type->pbFormat = nullptr;
    if (type->pUnk != nullptr) type->pUnk->Release();
    type->pUnk = nullptr;
}

inline void DeleteMediaType(AM_MEDIA_TYPE* type) {
    if (type == nullptr) return;
    FreeMediaTypeContents(type);
    CoTaskMemFree(type);
}

// Deep copy into *to; false when the format block could not be allocated.
inline bool CopyMediaType(AM_MEDIA_TYPE* to, const AM_MEDIA_TYPE* from) {
    *to = *from;
    if (from->cbFormat != 0) {
        to->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from->cbFormat));
        if (to->pbFormat == nullptr) {
            to->cbFormat = 0;
            to->pUnk = nullptr;
            return false;
        }
        CopyMemory(to->pbFormat, from->pbFormat, from->cbFormat);
    }
    if (to->pUnk != nullptr) to->pUnk->AddRef();
    return true;
}

// A task-memory copy for the caller to delete with DeleteMediaType.
inline AM_MEDIA_TYPE* CreateMediaTypeCopy(const AM_MEDIA_TYPE* from) {
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (type == nullptr) return nullptr;
    if (!CopyMediaType(type, from)) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}
