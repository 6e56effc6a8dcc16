#include "capture/dshow_frame_sink_filter.h"

#include "capture/dshow_media_rule.h"
#include "capture/frame_sink.h"
#include "state/tracker_state.h"

namespace {

// DirectShow's YUY2 is limited-range BT.601, its rows always top-down.
const YuvMatrix kYuy2Matrix = MakeYuvMatrix(0.299, 0.114, false);
constexpr size_t kRgb24Stride = static_cast<size_t>(kFrameWidth) * 3;
constexpr size_t kYuy2Stride = static_cast<size_t>(kFrameWidth) * 2;

}  // namespace

const CLSID kFrameSinkClassId = {0xD7A2CE2F, 0x8221, 0x4B80, {0xB0, 0x86, 0xB7, 0x95, 0xD9, 0xC8, 0x45, 0xF5}};

DShowFrameSinkFilter::DShowFrameSinkFilter(IUnknown*, HRESULT* result) : DShowRendererBase(kFrameSinkClassId) {
    if (result != nullptr) *result = S_OK;
}

// Only the frame's own size: a larger picture's rows would be misread, so
// the graph must find the camera's 640 x 480 format (through a converter
// where needed) instead. RGB24 and YUY2, which capture filters offer where
// no converter to RGB32 exists, are converted in the sink's one copy.
HRESULT DShowFrameSinkFilter::CheckMediaType(const AM_MEDIA_TYPE* type) { return CheckFrameMediaType(type); }

HRESULT DShowFrameSinkFilter::SetMediaType(const AM_MEDIA_TYPE* type) {
    format_.store(static_cast<int>(FramePictureFormat(type)), std::memory_order_relaxed);
    topDown_.store(IsTopDownFrameType(type), std::memory_order_release);
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
    const bool topDown = topDown_.load(std::memory_order_acquire);
    switch (static_cast<PictureFormat>(format_.load(std::memory_order_relaxed))) {
        case PictureFormat::kRgb24: DeliverRgb24Frame(data, usable, kRgb24Stride, topDown); break;
        case PictureFormat::kYuy2:
            DeliverPackedYuvFrame(data, usable, kYuy2Stride, PackedYuvLayout::kYuy2, kYuy2Matrix);
            break;
        default:
            if (topDown) {
                DeliverTopDownFrame(data, usable, static_cast<size_t>(kFrameWidth) * 4);
            } else {
                DeliverFrame(data, usable);
            }
    }
    return S_OK;
}
