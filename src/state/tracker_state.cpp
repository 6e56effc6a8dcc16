#include "state/tracker_state.h"

TrackerState g_tracker;

void ResetTrackerState() {
    g_tracker.mode.store(0);
    g_tracker.mainWindow.store(nullptr);
    g_tracker.status.store(0);
    for (auto& c : g_tracker.corners) c.store(0);
    g_tracker.xMin.store(0);
    g_tracker.xMax.store(0);
    g_tracker.yMin.store(0);
    g_tracker.yMax.store(0);
    g_tracker.screenWidth.store(0);
    g_tracker.screenHeight.store(0);
    g_tracker.xu = g_tracker.xv = g_tracker.yu = g_tracker.yv = 0.0;
    g_tracker.wu = g_tracker.wv = 0.0;
    g_tracker.cursorX.store(0);
    g_tracker.cursorY.store(0);
    g_tracker.frameReady.store(nullptr);
    g_tracker.workerRun.store(0);
    g_tracker.deliveriesInProgress.store(0);
    g_tracker.frame.store(nullptr);
    g_tracker.viewWatch.store(0);
    g_tracker.calibrationGrab.store(0);
    g_tracker.calibrationFailed.store(0);
    g_tracker.closed = false;
    g_tracker.settingsUnread = false;
}

SearchBox LoadSearchBox() {
    return {g_tracker.xMin.load(std::memory_order_relaxed), g_tracker.xMax.load(std::memory_order_relaxed),
            g_tracker.yMin.load(std::memory_order_relaxed), g_tracker.yMax.load(std::memory_order_relaxed)};
}
