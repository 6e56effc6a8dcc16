#include "tracking/cursor_driver.h"

#include "state/platform.h"
#include "state/tracker_state.h"

namespace {

// Blends small moves 1:3 with the previous position; large ones pass.
int32_t Smooth(int32_t target, int32_t previous) {
    const int32_t d = target - previous;
    if (d >= -kSmoothingWindow && d <= kSmoothingWindow) return (target + 3 * previous) / 4;
    return target;
}

}  // namespace

int32_t ScaleToAbsolute(int32_t value, int32_t size) {
    // 64-bit product: screens wider than 32,768 pixels would overflow 32 bits.
    return static_cast<int32_t>(static_cast<int64_t>(value) * kAbsoluteRange / size);
}

void DriveCursor(int32_t x, int32_t y) {
    x = Smooth(x, g_tracker.cursorX.load(std::memory_order_relaxed));
    g_tracker.cursorX.store(x, std::memory_order_relaxed);
    y = Smooth(y, g_tracker.cursorY.load(std::memory_order_relaxed));
    g_tracker.cursorY.store(y, std::memory_order_relaxed);

    const int32_t W = g_tracker.screenWidth.load(std::memory_order_relaxed);
    const int32_t H = g_tracker.screenHeight.load(std::memory_order_relaxed);
    // A screen without size has no absolute scale; there is nowhere to move.
    if (W < 1 || H < 1) return;
    PlatformInjectAbsoluteMove(ScaleToAbsolute(x, W), ScaleToAbsolute(y, H));
}

void CentreSmoothedCursor() {
    g_tracker.cursorX.store(g_tracker.screenWidth.load(std::memory_order_relaxed) / 2, std::memory_order_relaxed);
    g_tracker.cursorY.store(g_tracker.screenHeight.load(std::memory_order_relaxed) / 2, std::memory_order_relaxed);
}
