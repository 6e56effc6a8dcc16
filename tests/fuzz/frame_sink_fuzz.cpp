// Which pictures the frame sink takes, and its per-frame copies, over any
// picture sizes, sample sizes and row strides: the copy never reads past the
// sample nor writes past the Frame buffer, and both agree with a plain
// reference.
//
// Input: the picture's size (a tag byte and two 32-bit words, see Shape), a
// flags byte (see Flags), for the top-down copy the stride (a tag byte and a
// 64-bit word), the sample length (a tag byte and a 32-bit word), then two
// bytes that pick a row to check, then the Search box (four 16-bit words).
// The flags can make the top-down frame packed YUV (two bytes a pixel),
// converted on the copy, and the mode Tracking, where only the red of the
// Search box is converted.
#include <sanitizer/asan_interface.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "capture/frame_sink.h"
#include "fuzz/fuzz_input.h"
#include "state/platform.h"
#include "state/tracker_state.h"
#include "tracking/spot_detector.h"

// The one platform operation the sink uses: the Frame ready event, counted.
struct PlatformEvent {
    int signals;
};

void PlatformSignalEvent(PlatformEvent* event) { ++event->signals; }

namespace {

constexpr size_t kRowBytes = static_cast<size_t>(kFrameWidth) * 4;
// Room for a whole frame at a stride of up to 8 KiB a row.
constexpr size_t kSampleCapacity = 8192 * kFrameHeight;
// Bytes before a sample that must never be read.
constexpr size_t kGuard = 64 * 1024;

enum Flags : uint8_t {
    kTopDown = 1 << 0,
    kWorkerBusy = 1 << 1,  // FramePending already set: the frame is dropped
    kNullData = 1 << 2,
    kNoFrameBuffer = 1 << 3,
    kNoEvent = 1 << 4,
    kPackedYuv = 1 << 5,  // with kTopDown
    kUyvy = 1 << 6,       // with kPackedYuv
    kTracking = 1 << 7,   // else Preview
};

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

struct ShapeInput {
    uint8_t tag;
    int32_t first, second;
};

// Bit 0 of the tag takes the two words as they are; otherwise they are the
// frame's size give or take their low bytes. Bit 1 makes the layout one the
// sink cannot read; else it is the one the flags copy.
FrameShape Shape(const ShapeInput& input, uint8_t flags) {
    FrameShape shape{input.first, input.second, PictureFormat::kRgb32, (flags & kTopDown) != 0};
    if ((input.tag & 1) == 0) {
        shape.width = kFrameWidth + static_cast<int8_t>(input.first);
        shape.height = kFrameHeight + static_cast<int8_t>(input.second);
    }
    const bool packed = shape.topDown && (flags & kPackedYuv) != 0;
    if (packed) shape.format = (flags & kUyvy) ? PictureFormat::kUyvy : PictureFormat::kYuy2;
    if (input.tag & 2) shape.format = PictureFormat::kOther;
    return shape;
}

// The rule as a table: 640 columns, 480 rows, a layout the sink reads.
bool ReferenceAccepts(const FrameShape& shape) {
    const bool readable = shape.format == PictureFormat::kRgb32 || shape.format == PictureFormat::kYuy2 ||
                          shape.format == PictureFormat::kUyvy;
    return shape.width == 640 && shape.height == 480 && readable;
}

// Around the length a copy needs, or anything up to the capacity.
size_t Length(FuzzInput* in, size_t needed) {
    const uint8_t tag = TakeU8(in);
    const uint32_t word = TakeU32(in);
    if (tag % 2 == 0) return word % (kSampleCapacity + 1);
    const int64_t length = static_cast<int64_t>(needed) + static_cast<int16_t>(word & 0xFFFF);
    if (length < 0) return 0;
    return length > static_cast<int64_t>(kSampleCapacity) ? kSampleCapacity : static_cast<size_t>(length);
}

// A row plus some padding either way, or any 64-bit stride.
size_t Stride(FuzzInput* in, size_t rowBytes) {
    const uint8_t tag = TakeU8(in);
    const uint64_t word = TakeU64(in);
    if (tag % 2 == 0) return static_cast<size_t>(word);
    return rowBytes + static_cast<size_t>(static_cast<int16_t>(word & 0xFFFF));
}

struct Buffers {
    uint8_t* sample;  // kSampleCapacity bytes of noise
    uint32_t* frame;  // exactly one frame
};

Buffers& Prepared() {
    static Buffers buffers = [] {
        Buffers b;
        b.sample = new uint8_t[kSampleCapacity];
        uint32_t state = 99;
        for (size_t i = 0; i < kSampleCapacity; ++i) {
            state = state * 1664525u + 1013904223u;
            b.sample[i] = static_cast<uint8_t>(state >> 24);
        }
        b.frame = new uint32_t[kFramePixels];
        return b;
    }();
    return buffers;
}

uint32_t Word(const uint8_t* bytes) {
    uint32_t w;
    std::memcpy(&w, bytes, sizeof w);
    return w;
}

// The rows that tell a right copy from a wrong one: both ends and one more.
void CheckTopDownRows(const uint32_t* frame, const uint8_t* sample, size_t stride, int extraRow) {
    const int rows[3] = {0, kFrameHeight - 1, extraRow};
    for (int row : rows) {
        const uint8_t* const in = sample + static_cast<size_t>(kFrameHeight - 1 - row) * stride;
        for (int x = 0; x < kFrameWidth; ++x) {
            if (frame[row * kFrameWidth + x] != (Word(in + 4 * x) & 0x00FFFFFFu)) Fail("top-down row copied wrongly");
        }
    }
}

// The same rows of a packed YUV frame against the row conversion.
void CheckPackedRows(const uint32_t* frame, const uint8_t* sample, size_t stride, int extraRow,
                     PackedYuvLayout layout, const YuvMatrix& matrix) {
    const int rows[3] = {0, kFrameHeight - 1, extraRow};
    uint32_t expected[kFrameWidth];
    for (int row : rows) {
        const uint8_t* const in = sample + static_cast<size_t>(kFrameHeight - 1 - row) * stride;
        ConvertPackedYuvRow(in, expected, kFrameWidth, layout, matrix);
        if (std::memcmp(frame + row * kFrameWidth, expected, sizeof expected) != 0) Fail("packed row converted wrongly");
    }
}

// The same rows in Tracking: the red alone, inside the Search box.
void CheckRedInBox(const uint32_t* frame, const uint8_t* sample, size_t stride, int extraRow, PackedYuvLayout layout,
                   const YuvMatrix& matrix) {
    const int rows[3] = {0, kFrameHeight - 1, extraRow};
    const SearchBox box = ClipToFrame(LoadSearchBox());
    uint32_t expected[kFrameWidth];
    for (int row : rows) {
        if (row < box.yMin || row > box.yMax) continue;
        const uint8_t* const in = sample + static_cast<size_t>(kFrameHeight - 1 - row) * stride;
        ConvertPackedYuvRow(in, expected, kFrameWidth, layout, matrix);
        for (int x = box.xMin; x <= box.xMax; ++x) {
            if (frame[row * kFrameWidth + x] != (expected[x] & kRedMask)) Fail("red of the box converted wrongly");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size, 0};
    ShapeInput shapeInput;
    shapeInput.tag = TakeU8(&in);
    shapeInput.first = TakeI32(&in);
    shapeInput.second = TakeI32(&in);
    const uint8_t flags = TakeU8(&in);
    const FrameShape shape = Shape(shapeInput, flags);
    if (AcceptsFrameShape(shape) != ReferenceAccepts(shape)) Fail("picture rule");

    const bool topDown = (flags & kTopDown) != 0;
    const bool packed = topDown && (flags & kPackedYuv) != 0;
    const PackedYuvLayout layout = (flags & kUyvy) ? PackedYuvLayout::kUyvy : PackedYuvLayout::kYuy2;
    const size_t rowBytes = packed ? static_cast<size_t>(kFrameWidth) * 2 : kRowBytes;
    const size_t stride = topDown ? Stride(&in, rowBytes) : 0;
    // What a whole frame takes at this stride, saturated rather than wrapped.
    size_t needed = static_cast<size_t>(kFrameBytes);
    if (topDown) {
        const unsigned __int128 bytes = static_cast<unsigned __int128>(stride) * (kFrameHeight - 1) + rowBytes;
        needed = bytes > kSampleCapacity ? kSampleCapacity + 1 : static_cast<size_t>(bytes);
    }
    const size_t length = Length(&in, needed);
    const int extraRow = TakeU16(&in) % kFrameHeight;
    const bool tracking = (flags & kTracking) != 0;
    g_tracker.mode.store(tracking ? kModeTracking : kModePreview);
    for (std::atomic<int32_t>* edge : {&g_tracker.xMin, &g_tracker.xMax, &g_tracker.yMin, &g_tracker.yMax}) {
        edge->store(static_cast<int16_t>(TakeU16(&in)));
    }

    Buffers& buffers = Prepared();
    // The sample ends where the allocation ends, and the bytes before it are
    // fenced off: a read on either side is reported.
    const size_t offset = kSampleCapacity - length;
    const uint8_t* const sample = buffers.sample + offset;
    const size_t fence = offset < kGuard ? offset : kGuard;
    ASAN_POISON_MEMORY_REGION(sample - fence, fence);

    PlatformEvent event{0};
    g_tracker.status.store((flags & kWorkerBusy) ? kFramePending | kGraphReady : kGraphReady);
    g_tracker.frame.store((flags & kNoFrameBuffer) ? nullptr : buffers.frame);
    g_tracker.frameReady.store((flags & kNoEvent) ? nullptr : &event);
    const void* const passed = (flags & kNullData) ? nullptr : sample;
    // Marks that a skipped frame must leave alone.
    uint32_t* const last = buffers.frame + kFramePixels - 1;
    buffers.frame[0] = ~buffers.frame[0];
    *last = ~*last;
    const uint32_t first = buffers.frame[0], end = *last;

    static const YuvMatrix matrix = MakeYuvMatrix(0.299, 0.114, false);
    const bool delivered = packed    ? DeliverPackedYuvFrame(passed, length, stride, layout, matrix)
                           : topDown ? DeliverTopDownFrame(passed, length, stride)
                                     : DeliverFrame(passed, length);
    ASAN_UNPOISON_MEMORY_REGION(sample - fence, fence);

    const bool whole = length >= needed && (!topDown || stride >= rowBytes);
    const bool expected = whole && (flags & (kWorkerBusy | kNullData | kNoFrameBuffer | kNoEvent)) == 0;
    if (delivered != expected) Fail(delivered ? "frame delivered that should not be" : "whole frame not delivered");
    if (g_tracker.deliveriesInProgress.load() != 0) Fail("delivery still counted in progress");
    const bool redOnly = delivered && packed && tracking;
    if (g_tracker.status.load() != (kGraphReady | ((delivered || (flags & kWorkerBusy)) ? kFramePending : 0u) |
                                    (redOnly ? kFrameRedOnly : 0u))) {
        Fail("status bits wrong after the delivery");
    }
    if (event.signals != (delivered ? 1 : 0)) Fail("event signalled wrongly");
    if (!delivered) {
        if (buffers.frame[0] != first || *last != end) Fail("Frame buffer touched by a skipped frame");
    } else if (redOnly) {
        CheckRedInBox(buffers.frame, sample, stride, extraRow, layout, matrix);
    } else if (packed) {
        CheckPackedRows(buffers.frame, sample, stride, extraRow, layout, matrix);
    } else if (topDown) {
        CheckTopDownRows(buffers.frame, sample, stride, extraRow);
    } else if (std::memcmp(buffers.frame, sample, kFrameBytes) != 0) {
        Fail("frame copied wrongly");
    }
    g_tracker.frameReady.store(nullptr);
    return 0;
}
