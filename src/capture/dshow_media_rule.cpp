#include "capture/dshow_media_rule.h"

#include <dvdmedia.h>

#include <climits>

#include "capture/frame_sink.h"

namespace {

// Null unless the type carries a whole plain video-info header.
const VIDEOINFOHEADER* VideoInfoOf(const AM_MEDIA_TYPE* type) {
    if (type->cbFormat < sizeof(VIDEOINFOHEADER) || type->pbFormat == nullptr) return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
}

// A bitmap's height is negative when its rows run top-down.
int32_t Rows(LONG height) {
    if (height >= 0) return height;
    return height == LONG_MIN ? LONG_MAX : -height;
}

StreamCapability CapabilityOf(const BITMAPINFOHEADER& bitmap, REFERENCE_TIME frameInterval) {
    return {bitmap.biWidth, Rows(bitmap.biHeight), frameInterval};
}

}  // namespace

PictureFormat FramePictureFormat(const AM_MEDIA_TYPE* type) {
    if (type->subtype == MEDIASUBTYPE_RGB32) return PictureFormat::kRgb32;
    if (type->subtype == MEDIASUBTYPE_RGB24) return PictureFormat::kRgb24;
    if (type->subtype == MEDIASUBTYPE_YUY2) return PictureFormat::kYuy2;
    return PictureFormat::kOther;
}

HRESULT CheckFrameMediaType(const AM_MEDIA_TYPE* type) {
    if (type->formattype != FORMAT_VideoInfo) return E_INVALIDARG;
    const PictureFormat format = FramePictureFormat(type);
    if (type->majortype != MEDIATYPE_Video || format == PictureFormat::kOther) return E_FAIL;
    const VIDEOINFOHEADER* const info = VideoInfoOf(type);
    if (info == nullptr) return E_FAIL;
    const BITMAPINFOHEADER& bitmap = info->bmiHeader;
    const FrameShape shape{bitmap.biWidth, Rows(bitmap.biHeight), format, bitmap.biHeight < 0};
    return AcceptsFrameShape(shape) ? S_OK : E_FAIL;
}

bool IsTopDownFrameType(const AM_MEDIA_TYPE* type) {
    const VIDEOINFOHEADER* const info = VideoInfoOf(type);
    return info != nullptr && info->bmiHeader.biHeight < 0;
}

StreamCapability StreamCapabilityOf(const AM_MEDIA_TYPE* type) {
    if (type != nullptr && type->pbFormat != nullptr) {
        if (type->formattype == FORMAT_VideoInfo && type->cbFormat >= sizeof(VIDEOINFOHEADER)) {
            const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
            return CapabilityOf(info->bmiHeader, info->AvgTimePerFrame);
        }
        if (type->formattype == FORMAT_VideoInfo2 && type->cbFormat >= sizeof(VIDEOINFOHEADER2)) {
            const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(type->pbFormat);
            return CapabilityOf(info->bmiHeader, info->AvgTimePerFrame);
        }
    }
    return {0, 0, 0};
}
