#include "preview/preview_passes.h"

#include "state/platform.h"
#include "state/tracker_state.h"
#include "tracking/spot_detector.h"

namespace {

constexpr int32_t kThresholdTop = 224;
constexpr int32_t kThresholdDrop = 112;
constexpr uint32_t kLit = 0x0000FF00u;
constexpr uint32_t kUnlit = 0x00000000u;

int32_t Line(int32_t row) { return (kFrameHeight - 1) - row; }

// The level a row computes for itself; a one-row box has no slope.
int32_t OwnLevel(int32_t y, int32_t yMin, int32_t yMax) {
    if (yMax == yMin) return kThresholdTop;
    // 64-bit: boxes from a damaged file may span far more than the frame.
    const int64_t q = (int64_t{kThresholdDrop} * (int64_t{yMin} - y)) / (int64_t{yMax} - yMin);
    return static_cast<int32_t>(kThresholdTop + q);
}

}  // namespace

int32_t ThresholdRowLevel(int32_t y, int32_t yMin, int32_t yMax) {
    if ((y & 2) == 0) return OwnLevel(y, yMin, yMax);
    // Rows 2 and 3 of each group of four repeat the level of row 1.
    const int64_t source = int64_t{y} - ((y & 3) - 1);
    if (source < yMin) return kThresholdTop;
    return OwnLevel(static_cast<int32_t>(source), yMin, yMax);
}

void DrawCrosshair() {
    PlatformSelectPen(kPenCrosshair);
    PlatformDrawLine(kFrameWidth / 2, 0, kFrameWidth / 2, kFrameHeight);
    PlatformDrawLine(0, kFrameHeight / 2, kFrameWidth, kFrameHeight / 2);
}

void DrawQuadOutline() {
    const int32_t x[4] = {Corner(kLowerLeftX), Corner(kLowerRightX), Corner(kUpperLeftX), Corner(kUpperRightX)};
    const int32_t y[4] = {Line(Corner(kLowerLeftY)), Line(Corner(kLowerRightY)), Line(Corner(kUpperLeftY)), Line(Corner(kUpperRightY))};
    PlatformSelectPen(kPenQuad);
    const int order[5] = {0, 1, 3, 2, 0};
    for (int i = 0; i < 4; ++i) {
        PlatformDrawLine(x[order[i]], y[order[i]], x[order[i + 1]], y[order[i + 1]]);
    }
}

void DrawMagnifier() {
    PlatformRect client;
    PlatformPoint cursor;
    if (!PlatformGetClientArea(g_tracker.mainWindow.load(std::memory_order_acquire), &client)) return;
    if (!PlatformGetCursorPos(&cursor)) return;
    if (cursor.x < client.left || cursor.x > client.right || cursor.y < client.top || cursor.y > client.bottom) return;
    const int32_t cx = cursor.x - client.left;
    const int32_t cy = cursor.y - client.top;
    PlatformStretchBlock2x(cx - 8, cy - 8, cx - 16, cy - 16);
}

void DrawThresholdMap() {
    uint32_t* const frame = g_tracker.frame.load(std::memory_order_acquire);
    const SearchBox box = LoadSearchBox();
    if (frame == nullptr || box.yMin > box.yMax) return;
    // Levels come from the whole box; only its part inside the frame is written.
    const SearchBox clip = ClipToFrame(box);
    for (int32_t y = clip.yMin; y <= clip.yMax; ++y) {
        const int32_t level = ThresholdRowLevel(y, box.yMin, box.yMax) << 16;
        uint32_t* const row = frame + y * kFrameWidth;
        for (int32_t x = clip.xMin; x <= clip.xMax; ++x) {
            // Masked reds are below 2^24, so a signed compare is the unsigned one.
            row[x] = static_cast<int32_t>(row[x] & kRedMask) > level ? kLit : kUnlit;
        }
    }
}

void DrawButtonIndicators() {
    // Drawn in whatever pen the last pass left selected.
    if (PlatformIsKeyDown(kKeyLeftButton)) PlatformDrawRectangle(150, 250, 182, 282);
    if (PlatformIsKeyDown(kKeyMiddleButton)) PlatformDrawRectangle(300, 250, 332, 282);
    if (PlatformIsKeyDown(kKeyRightButton)) PlatformDrawRectangle(450, 250, 482, 282);
}

void DrawPreviewPass() {
    if (g_tracker.frame.load(std::memory_order_acquire) == nullptr) return;
    DrawCrosshair();
    DrawQuadOutline();
    DrawMagnifier();
    PlatformPresentPicture();
}

void DrawThresholdPass() {
    if (g_tracker.frame.load(std::memory_order_acquire) == nullptr) return;
    DrawThresholdMap();
    DrawButtonIndicators();
    DrawQuadOutline();
    PlatformPresentPicture();
}
