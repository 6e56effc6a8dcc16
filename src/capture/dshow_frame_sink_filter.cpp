#include "capture/dshow_frame_sink_filter.h"

#include <cstring>

#include "capture/frame_sink.h"

const CLSID kFrameSinkClassId = {0xD7A2CE2F, 0x8221, 0x4B80, {0xB0, 0x86, 0xB7, 0x95, 0xD9, 0xC8, 0x45, 0xF5}};

namespace {

static_assert(sizeof(MediaGuid) == sizeof(GUID), "MediaGuid is laid out like GUID");

MediaGuid ToMediaGuid(const GUID& guid) {
    MediaGuid out;
    std::memcpy(&out, &guid, sizeof out);
    return out;
}

}  // namespace

DShowFrameSinkFilter::DShowFrameSinkFilter(IUnknown*, HRESULT* result) : DShowRendererBase(kFrameSinkClassId) {
    if (result != nullptr) *result = S_OK;
}

HRESULT DShowFrameSinkFilter::CheckMediaType(const AM_MEDIA_TYPE* type) {
    return ::CheckMediaType(ToMediaGuid(type->formattype), ToMediaGuid(type->majortype), ToMediaGuid(type->subtype));
}

HRESULT DShowFrameSinkFilter::SetMediaType(const AM_MEDIA_TYPE*) { return S_OK; }

HRESULT DShowFrameSinkFilter::DoRenderSample(IMediaSample* sample) {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    // A claimed length beyond the buffer (or below zero) is not believed:
    // the sample is then skipped like a short one.
    const long length = sample->GetActualDataLength();
    const bool believable = length >= 0 && length <= sample->GetSize();
    DeliverFrame(data, believable ? static_cast<size_t>(length) : 0);
    return S_OK;
}
