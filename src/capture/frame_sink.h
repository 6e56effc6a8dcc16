// The consumer end of the capture: the media-type rule and the per-frame
// copy into the Frame buffer, shared by every platform's sink.
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/yuv_conversion.h"

// Laid out like the system's 16-byte GUID.
struct MediaGuid {
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
};

bool operator==(const MediaGuid& a, const MediaGuid& b);

extern const MediaGuid kFormatVideoInfo;    // {05589F80-C356-11CE-BF01-00AA0055595A}
extern const MediaGuid kFormatVideoInfo2;   // {F72A76A0-EB0A-11D0-ACE4-0000C0CC16BA}
extern const MediaGuid kMediaTypeVideo;     // {73646976-0000-0010-8000-00AA00389B71}
extern const MediaGuid kMediaSubtypeRGB32;  // {E436EB7E-524F-11CE-9F53-0020AF0BA770}
extern const MediaGuid kMediaSubtypeRGB24;  // {E436EB7D-524F-11CE-9F53-0020AF0BA770}

constexpr int32_t kResultOk = 0;
constexpr int32_t kResultInvalidArg = static_cast<int32_t>(0x80070057u);
constexpr int32_t kResultFail = static_cast<int32_t>(0x80004005u);

// Accepts only uncompressed 32-bit RGB video with a plain video-info header.
// The format type is tested first (E_INVALIDARG), then the major type and
// the subtype (E_FAIL).
int32_t CheckMediaType(const MediaGuid& formatType, const MediaGuid& majorType, const MediaGuid& subtype);

// True for a picture of exactly the frame's size: 640 columns and 480 rows,
// either way up (a negative height counts rows top-down).
bool IsFrameSize(int32_t width, int32_t height);

// One delivered frame, rows bottom-up as the Frame buffer holds them. Dropped
// while the worker still owns the buffer, and skipped when it holds less
// than a whole frame. Streaming thread; never waits. True if the frame was
// handed to the worker.
bool DeliverFrame(const void* data, size_t length);

// The same for a frame whose rows run top-down, stride bytes apart, with a
// padding byte in each pixel's top byte: rows are flipped, padding cleared.
bool DeliverTopDownFrame(const void* data, size_t length, size_t stride);

// The same for a packed YUV frame whose rows run top-down, stride bytes
// apart: converted to RGB on the way in.
bool DeliverPackedYuvFrame(const void* data, size_t length, size_t stride, PackedYuvLayout layout,
                           const YuvMatrix& matrix);
