// The frame sink's media-type rule in DirectShow's terms, and what the
// capture graph reads from a capture source's media types.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "capture/frame_sink.h"
#include "capture/stream_capability.h"

// Accepts only uncompressed video the frame sink reads (32- or 24-bit RGB,
// or YUY2 as webcams and capture filters deliver it) with a plain
// video-info header whose picture the frame sink takes. The format type is tested first
// (E_INVALIDARG), then the major type and the subtype (E_FAIL), then the
// picture (E_FAIL).
HRESULT CheckFrameMediaType(const AM_MEDIA_TYPE* type);

// The pixel layout of a type the rule accepted.
PictureFormat FramePictureFormat(const AM_MEDIA_TYPE* type);

// True when a type the rule accepted runs its rows top-down.
bool IsTopDownFrameType(const AM_MEDIA_TYPE* type);

// Size and rate of a capability's media type; zeros when it has no video
// header.
StreamCapability StreamCapabilityOf(const AM_MEDIA_TYPE* type);
