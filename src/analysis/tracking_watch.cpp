#include "analysis/tracking_watch.h"

#include <cstdint>

#include "platform/window_restore.h"
#include "state/platform.h"
#include "state/tracker_state.h"

namespace {

constexpr int kWatchMs = 50;
// Two ticks in a row without a pass: about 100 ms, three frames of a
// 30 fps camera that should have been analysed.
constexpr int kQuietTicks = 2;

uint32_t g_lastPasses;
int g_quietTicks;

void ArmWatch() {
    PlatformStartTrackingWatchTimer(g_tracker.mainWindow.load(std::memory_order_acquire), kWatchMs);
}

}  // namespace

void StartTrackingWatch() {
    g_lastPasses = g_tracker.trackingPasses.load(std::memory_order_acquire);
    g_quietTicks = 0;
    ArmWatch();
}

void OnTrackingWatchTimer() {
    if (LoadMode() != kModeTracking || g_tracker.closed) return;
    const uint32_t passes = g_tracker.trackingPasses.load(std::memory_order_acquire);
    if (passes != g_lastPasses) {
        g_lastPasses = passes;
        g_quietTicks = 0;
    } else if (++g_quietTicks >= kQuietTicks) {
        RestoreOnF12();
    }
    if (LoadMode() == kModeTracking) ArmWatch();
}
