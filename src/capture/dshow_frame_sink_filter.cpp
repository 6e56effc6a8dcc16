#include "capture/dshow_frame_sink_filter.h"

#include <cstring>

#include "capture/frame_sink.h"
#include "state/tracker_state.h"

const CLSID kFrameSinkClassId = {0xD7A2CE2F, 0x8221, 0x4B80, {0xB0, 0x86, 0xB7, 0x95, 0xD9, 0xC8, 0x45, 0xF5}};

namespace {

static_assert(sizeof(MediaGuid) == sizeof(GUID), "MediaGuid is laid out like GUID");

MediaGuid ToMediaGuid(const GUID& guid) {
    MediaGuid out;
    std::memcpy(&out, &guid, sizeof out);
    return out;
}

// Null unless the type carries a whole plain video-info header.
const VIDEOINFOHEADER* VideoInfoOf(const AM_MEDIA_TYPE* type) {
    if (type->cbFormat < sizeof(VIDEOINFOHEADER) || type->pbFormat == nullptr) return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
}

}  // namespace

DShowFrameSinkFilter::DShowFrameSinkFilter(IUnknown*, HRESULT* result) : DShowRendererBase(kFrameSinkClassId) {
    if (result != nullptr) *result = S_OK;
}

// Only the frame's own size: a larger picture's rows would be misread, so
// the graph must find the camera's 640 x 480 format (through a converter
// where needed) instead.
HRESULT DShowFrameSinkFilter::CheckMediaType(const AM_MEDIA_TYPE* type) {
    const HRESULT rule =
        ::CheckMediaType(ToMediaGuid(type->formattype), ToMediaGuid(type->majortype), ToMediaGuid(type->subtype));
    if (rule != S_OK) return rule;
    const VIDEOINFOHEADER* const info = VideoInfoOf(type);
    if (info == nullptr || !IsFrameSize(info->bmiHeader.biWidth, info->bmiHeader.biHeight)) return E_FAIL;
    return S_OK;
}

HRESULT DShowFrameSinkFilter::SetMediaType(const AM_MEDIA_TYPE* type) {
    const VIDEOINFOHEADER* const info = VideoInfoOf(type);
    topDown_.store(info != nullptr && info->bmiHeader.biHeight < 0, std::memory_order_release);
    return S_OK;
}

HRESULT DShowFrameSinkFilter::DoRenderSample(IMediaSample* sample) {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    // A claimed length beyond the buffer (or below zero) is not believed:
    // the sample is then skipped like a short one.
    const long length = sample->GetActualDataLength();
    const bool believable = length >= 0 && length <= sample->GetSize();
    const size_t usable = believable ? static_cast<size_t>(length) : 0;
    if (topDown_.load(std::memory_order_acquire)) {
        DeliverTopDownFrame(data, usable, static_cast<size_t>(kFrameWidth) * 4);
    } else {
        DeliverFrame(data, usable);
    }
    return S_OK;
}
