#include "capture/frame_sink.h"

#include <cstring>

#include "state/platform.h"
#include "state/tracker_state.h"
#include "tracking/spot_detector.h"

bool IsFrameSize(int32_t width, int32_t height) { return width == kFrameWidth && height == kFrameHeight; }

bool AcceptsFrameShape(const FrameShape& shape) {
    return IsFrameSize(shape.width, shape.height) && shape.format != PictureFormat::kOther;
}

namespace {

// Marks a delivery in progress, so that StopWorker never closes the event
// while a delivery may still signal it.
class Delivery {
  public:
    Delivery() { g_tracker.deliveriesInProgress.fetch_add(1, std::memory_order_seq_cst); }
    ~Delivery() { g_tracker.deliveriesInProgress.fetch_sub(1, std::memory_order_release); }
    Delivery(const Delivery&) = delete;
    Delivery& operator=(const Delivery&) = delete;

    // The Frame buffer if the sink may fill it now, otherwise null. Only
    // this thread sets FramePending, so the buffer stays ours until we do.
    uint32_t* Acquire(const void* data) {
        if (data == nullptr || TestStatus(kFramePending)) return nullptr;
        event_ = g_tracker.frameReady.load(std::memory_order_seq_cst);
        if (event_ == nullptr) return nullptr;
        return g_tracker.frame.load(std::memory_order_acquire);
    }

    // The FrameRedOnly bit travels with FramePending: the worker reads it
    // only after it sees the frame.
    bool HandToWorker(bool redOnly = false) {
        if (redOnly) {
            SetStatus(kFrameRedOnly);
        } else {
            ClearStatus(kFrameRedOnly);
        }
        SetStatus(kFramePending);
        PlatformSignalEvent(event_);
        return true;
    }

  private:
    PlatformEvent* event_ = nullptr;
};

}  // namespace

bool DeliverFrame(const void* data, size_t length) {
    Delivery delivery;
    uint32_t* const frame = delivery.Acquire(data);
    if (frame == nullptr || length < static_cast<size_t>(kFrameBytes)) return false;
    std::memcpy(frame, data, kFrameBytes);
    return delivery.HandToWorker();
}

namespace {

// True if a sample of length bytes holds every row of a top-down frame at
// this stride. Divided rather than multiplied: stride * 479 can wrap for a
// huge stride and let a short sample through.
bool HoldsWholeFrame(size_t length, size_t stride, size_t rowBytes) {
    if (stride < rowBytes) return false;
    return length >= rowBytes && (length - rowBytes) / (kFrameHeight - 1) >= stride;
}

// The rows firstRow..lastRow (of the bottom-up Frame buffer) of a frame
// whose rows run top-down (unless bottomUp), stride bytes apart: each
// source row of rowBytes is handed to copyRow with its place in the buffer.
struct RowSpan {
    int32_t firstRow = 0, lastRow = kFrameHeight - 1;
    bool redOnly = false;
    bool bottomUp = false;
};

template <typename CopyRow>
bool DeliverTopDownRows(const void* data, size_t length, size_t stride, size_t rowBytes, CopyRow copyRow,
                        RowSpan span = {}) {
    Delivery delivery;
    uint32_t* const frame = delivery.Acquire(data);
    if (frame == nullptr || !HoldsWholeFrame(length, stride, rowBytes)) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (int row = span.firstRow; row <= span.lastRow; ++row) {
        const int line = span.bottomUp ? row : kFrameHeight - 1 - row;
        copyRow(bytes + static_cast<size_t>(line) * stride, frame + row * kFrameWidth);
    }
    return delivery.HandToWorker(span.redOnly);
}

}  // namespace

bool DeliverTopDownFrame(const void* data, size_t length, size_t stride) {
    return DeliverTopDownRows(data, length, stride, static_cast<size_t>(kFrameWidth) * 4,
                              [](const unsigned char* in, uint32_t* out) {
                                  // One pass per row: the padding byte is cleared on the way in.
                                  for (int x = 0; x < kFrameWidth; ++x) {
                                      uint32_t pixel;
                                      std::memcpy(&pixel, in + 4 * x, sizeof pixel);
                                      out[x] = pixel & 0x00FFFFFFu;
                                  }
                              });
}

bool DeliverRgb24Frame(const void* data, size_t length, size_t stride, bool topDown) {
    RowSpan span;
    span.bottomUp = !topDown;
    return DeliverTopDownRows(
        data, length, stride, static_cast<size_t>(kFrameWidth) * 3,
        [](const unsigned char* in, uint32_t* out) {
            for (int x = 0; x < kFrameWidth; ++x, in += 3) out[x] = in[0] | (in[1] << 8) | (uint32_t{in[2]} << 16);
        },
        span);
}

bool DeliverPackedYuvFrame(const void* data, size_t length, size_t stride, PackedYuvLayout layout,
                           const YuvMatrix& matrix) {
    const size_t rowBytes = static_cast<size_t>(kFrameWidth) * 2;
    if (LoadMode() != kModeTracking) {
        return DeliverTopDownRows(data, length, stride, rowBytes,
                                  [layout, &matrix](const unsigned char* in, uint32_t* out) {
                                      ConvertPackedYuvRow(in, out, kFrameWidth, layout, matrix);
                                  });
    }
    // While tracking, only the spot detector reads the frame, and only the
    // red of the Search box: converting just that costs a fraction of the
    // whole picture. The box cannot change while tracking (corners are set
    // in Preview only), so the worker looks at the rows converted here.
    const SearchBox box = ClipToFrame(LoadSearchBox());
    return DeliverTopDownRows(
        data, length, stride, rowBytes,
        [layout, &matrix, &box](const unsigned char* in, uint32_t* out) {
            ConvertPackedYuvRowRed(in, out, kFrameWidth, box.xMin, box.xMax, layout, matrix);
        },
        RowSpan{box.yMin, box.yMax, true});
}
