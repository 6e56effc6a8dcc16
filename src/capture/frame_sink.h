// The consumer end of the capture: which pictures the sink takes and the
// per-frame copy into the Frame buffer, shared by every platform's sink.
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/yuv_conversion.h"

// How the pixels of a delivered picture lie in memory.
enum class PictureFormat {
    kRgb32,  // blue, green, red and a padding byte
    kRgb24,  // blue, green and red, rows padded to whole words
    kYuy2,   // packed 4:2:2, luma first
    kUyvy,   // packed 4:2:2, chroma first
    kOther,  // anything the sink cannot read
};

// A picture as a source describes it.
struct FrameShape {
    int32_t width, height;  // columns and rows
    PictureFormat format;
    bool topDown;  // the first row in memory is the picture's top
};

// True for 640 columns and 480 rows.
bool IsFrameSize(int32_t width, int32_t height);

// True for a picture the sink can copy as it comes: the frame's size, in a
// layout it reads, either way up.
bool AcceptsFrameShape(const FrameShape& shape);

// One delivered frame, rows bottom-up as the Frame buffer holds them. Dropped
// while the worker still owns the buffer, and skipped when it holds less
// than a whole frame. Streaming thread; never waits. True if the frame was
// handed to the worker.
bool DeliverFrame(const void* data, size_t length);

// The same for a frame whose rows run top-down, stride bytes apart, with a
// padding byte in each pixel's top byte: rows are flipped, padding cleared.
bool DeliverTopDownFrame(const void* data, size_t length, size_t stride);

// The same for a frame of three bytes a pixel (blue, green, red), rows
// stride bytes apart, running top-down or, as a bitmap's, bottom-up.
bool DeliverRgb24Frame(const void* data, size_t length, size_t stride, bool topDown);

// The same for a packed YUV frame whose rows run top-down, stride bytes
// apart: converted to RGB on the way in. While tracking, only the red of
// the Search box is converted, and the frame is marked FrameRedOnly.
bool DeliverPackedYuvFrame(const void* data, size_t length, size_t stride, PackedYuvLayout layout,
                           const YuvMatrix& matrix);
