#include "analysis/analysis_worker.h"

#include "analysis/auto_calibration.h"
#include "platform/window_restore.h"
#include "preview/preview_passes.h"
#include "state/platform.h"
#include "state/tracker_state.h"
#include "tracking/cursor_driver.h"
#include "tracking/mapping.h"
#include "tracking/mapping_refresh.h"
#include "tracking/spot_detector.h"

namespace {

void TrackingPass(const uint32_t* frame) {
    RefreshMappingIfRequested();
    const SpotResult result = DetectSpot(frame, LoadSearchBox());
    if (result.found) {
        const ScreenPoint point = MapSpot({result.sumX, result.sumY});
        DriveCursor(point.x, point.y);
    }
    RestoreOnF12();
    g_tracker.trackingPasses.fetch_add(1, std::memory_order_release);
}

// What the exposure assistant and the calibration watch, before any overlay
// is drawn.
void PublishViewFrame() {
    uint32_t* const frame = g_tracker.frame.load(std::memory_order_acquire);
    OfferCalibrationFrame(frame);
    const uint32_t red = HighestRedInBox(frame, LoadSearchBox());
    uint32_t word = g_tracker.viewWatch.load(std::memory_order_relaxed);
    uint32_t next;
    do {
        const uint32_t peak = word & kViewRedMask;
        next = (word & ~kViewRedMask) + (1u << kViewCountShift) + (red > peak ? red : peak);
    } while (!g_tracker.viewWatch.compare_exchange_weak(word, next, std::memory_order_release,
                                                        std::memory_order_relaxed));
    DrawCalibrationNotice(frame);
}

// A wake-up with a delivered frame owns the Frame buffer. A stop signal
// brings none: the pass then takes the buffer only if no delivery can be
// writing it (the sink counts itself in before it looks at FramePending).
bool ClaimFrameBuffer() {
    if (TestStatus(kFramePending)) return true;
    if (g_tracker.status.fetch_or(kFramePending, std::memory_order_seq_cst) & kFramePending) return true;
    return g_tracker.deliveriesInProgress.load(std::memory_order_seq_cst) == 0;
}

void WorkerBody() {
    PlatformEvent* const frameReady = g_tracker.frameReady.load(std::memory_order_acquire);
    for (;;) {
        PlatformWaitEvent(frameReady);
        if (ClaimFrameBuffer()) RunAnalysisPass();
        // Hands the Frame buffer back to the sink, every pass.
        ClearStatus(kFramePending);
        if (g_tracker.workerRun.load(std::memory_order_acquire) == kWorkerStopRequested) {
            g_tracker.workerRun.store(kWorkerExited, std::memory_order_release);
            return;
        }
    }
}

}  // namespace

void RunAnalysisPass() {
    const int32_t mode = LoadMode();
    // A frame delivered just before tracking ended holds no picture; the
    // window keeps the previous one until the next frame.
    if (mode != kModeTracking && TestStatus(kFrameRedOnly)) return;
    switch (mode) {
        case kModeTracking:
            TrackingPass(g_tracker.frame.load(std::memory_order_acquire));
            break;
        case kModePreview:
            PublishViewFrame();
            DrawPreviewPass();
            break;
        case kModeThreshold:
            PublishViewFrame();
            DrawThresholdPass();
            break;
        default:
            break;
    }
}

void StartWorker() {
    g_tracker.frameReady.store(PlatformCreateEvent(), std::memory_order_release);
    if (g_tracker.frameReady.load(std::memory_order_relaxed) == nullptr) return;
    // Nothing signals the event before the capture runs, so the worker is
    // still waiting when the state says running.
    if (PlatformStartThread(WorkerBody)) {
        g_tracker.workerRun.store(kWorkerRunning, std::memory_order_release);
    }
}

void StopWorker() {
    PlatformEvent* const frameReady = g_tracker.frameReady.load(std::memory_order_acquire);
    if (frameReady == nullptr) return;
    if (g_tracker.workerRun.load(std::memory_order_acquire) == kWorkerRunning) {
        g_tracker.workerRun.store(kWorkerStopRequested, std::memory_order_seq_cst);
        PlatformSignalEvent(frameReady);
        PlatformSleepMs(20);
        PlatformSignalEvent(frameReady);
        while (g_tracker.workerRun.load(std::memory_order_acquire) != kWorkerExited) {
            PlatformPumpWindowRequests();
            PlatformSleepMs(1);
        }
    }
    // Normally the capture has stopped by now; if frames still arrive, wait
    // out any delivery that may yet signal the event before closing it.
    g_tracker.frameReady.store(nullptr, std::memory_order_seq_cst);
    while (g_tracker.deliveriesInProgress.load(std::memory_order_acquire) != 0) PlatformSleepMs(0);
    PlatformCloseEvent(frameReady);
}
