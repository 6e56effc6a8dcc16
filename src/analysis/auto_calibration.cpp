#include "analysis/auto_calibration.h"

#include <algorithm>

#include "state/platform.h"
#include "state/tracker_state.h"
#include "tracking/calibration.h"
#include "tracking/screen_corners.h"

namespace {

constexpr uint32_t kGrabSumMask = 0xFFu;
constexpr uint32_t kGrabSkipUnit = 1u << 8;
constexpr uint32_t kGrabCounts = 0xFFFFu;
constexpr int kGrabTargetShift = 16;
constexpr uint32_t kGrabBusy = 1u << 17;

constexpr int32_t kDarkGrey = 0, kLightGrey = 255;
// The failure notice: a red band this wide around the picture.
constexpr int32_t kNoticeBand = 12;
constexpr uint32_t kNoticeColor = 0x00FF0000u;

enum Phase { kIdle, kDark, kLight, kNotice };
enum Sum { kDarkSum = 0, kLightSum = 1 };

// Brightness (red + 2 green + blue) summed over the frames of each
// pattern; kCalibrationSumFrames * 1020 fits in 16 bits.
uint16_t g_sums[2][kFramePixels];
int32_t g_difference[kFramePixels];

struct Sequence {
    Phase phase = kIdle;
    PlatformScreenMetrics monitor{};
    bool requested = false;
    uint32_t frames = 0;
    int idleMs = 0;
} g_run;

PlatformWindow* Window() { return g_tracker.mainWindow.load(std::memory_order_acquire); }

uint32_t ViewFrames() { return g_tracker.viewWatch.load(std::memory_order_relaxed) >> kViewCountShift; }

bool Calibrating() { return g_run.phase == kDark || g_run.phase == kLight; }

// The worker stops summing at its next frame; a frame it is adding now
// keeps the sums its own until it is done.
void CancelGrab() { g_tracker.calibrationGrab.fetch_and(kGrabBusy, std::memory_order_acq_rel); }

bool GrabIdle() { return g_tracker.calibrationGrab.load(std::memory_order_acquire) == 0; }

// A grab starts only once the worker has let go of the sums.
void RequestGrabWhenIdle() {
    if (!GrabIdle()) return;
    const Sum sum = g_run.phase == kDark ? kDarkSum : kLightSum;
    std::fill(g_sums[sum], g_sums[sum] + kFramePixels, uint16_t{0});
    g_tracker.calibrationGrab.store(
        (uint32_t{sum} << kGrabTargetShift) | (kCalibrationSettleFrames * kGrabSkipUnit) | kCalibrationSumFrames,
        std::memory_order_release);
    g_run.requested = true;
}

void EnterPhase(Phase phase) {
    g_run.phase = phase;
    g_run.requested = false;
    PlatformShowPattern(g_run.monitor, phase == kDark ? kDarkGrey : kLightGrey);
    RequestGrabWhenIdle();
}

void EndPatterns() {
    CancelGrab();
    PlatformHidePattern();
    PlatformKillCalibrationTimer(Window());
    g_run.phase = kIdle;
}

void Fail() {
    EndPatterns();
    g_run.phase = kNotice;
    g_tracker.calibrationFailed.store(1, std::memory_order_relaxed);
    PlatformStartCalibrationTimer(Window(), kCalibrationNoticeMs);
}

void Finish() {
    EndPatterns();
    for (int i = 0; i < kFramePixels; ++i) g_difference[i] = int32_t{g_sums[kLightSum][i]} - g_sums[kDarkSum][i];
    ScreenCorners corners{};
    int32_t quad[kCornerValues];
    if (!EstimateScreenCorners(g_difference, kCalibrationSumFrames, &corners) ||
        !QuadFromScreenCorners(corners, g_run.monitor.screenWidth, g_run.monitor.screenHeight, quad)) {
        Fail();
        return;
    }
    SetQuad(quad);
}

}  // namespace

void ToggleAutoCalibration() {
    if (StopAutoCalibration()) return;
    if (LoadMode() == kModeTracking || !TestStatus(kGraphReady) || g_tracker.closed) return;
    g_tracker.calibrationFailed.store(0, std::memory_order_relaxed);
    PlatformGetScreenMetrics(&g_run.monitor);
    g_run.frames = ViewFrames();
    g_run.idleMs = 0;
    EnterPhase(kDark);
    PlatformStartCalibrationTimer(Window(), kCalibrationTickMs);
}

bool StopAutoCalibration() {
    if (!Calibrating()) return false;
    EndPatterns();
    return true;
}

bool AutoCalibrationRunning() { return Calibrating(); }

void OnCalibrationTimer() {
    if (g_run.phase == kNotice) {
        g_tracker.calibrationFailed.store(0, std::memory_order_relaxed);
        g_run.phase = kIdle;
        return;
    }
    if (!Calibrating()) return;
    const uint32_t frames = ViewFrames();
    g_run.idleMs = frames != g_run.frames ? 0 : g_run.idleMs + kCalibrationTickMs;
    g_run.frames = frames;
    if (g_run.idleMs >= kCalibrationStallMs) {
        Fail();
        return;
    }
    if (!g_run.requested) {
        RequestGrabWhenIdle();
    } else if (GrabIdle()) {
        if (g_run.phase == kLight) {
            Finish();
            return;
        }
        EnterPhase(kLight);
    }
    PlatformStartCalibrationTimer(Window(), kCalibrationTickMs);
}

void OfferCalibrationFrame(const uint32_t* frame) {
    uint32_t word = g_tracker.calibrationGrab.load(std::memory_order_acquire);
    if ((word & kGrabCounts) == 0) return;
    if (!g_tracker.calibrationGrab.compare_exchange_strong(word, word | kGrabBusy, std::memory_order_acquire,
                                                           std::memory_order_relaxed)) {
        return;
    }
    if ((word & ~kGrabSumMask & kGrabCounts) == 0) {
        uint16_t* const sum = g_sums[(word >> kGrabTargetShift) & 1u];
        for (int i = 0; i < kFramePixels; ++i) {
            const uint32_t p = frame[i];
            sum[i] = static_cast<uint16_t>(sum[i] + ((p >> 16) & 0xFFu) + 2 * ((p >> 8) & 0xFFu) + (p & 0xFFu));
        }
    }
    const uint32_t next = (word & ~kGrabSumMask & kGrabCounts) != 0 ? word - kGrabSkipUnit : word - 1;
    uint32_t busy = word | kGrabBusy;
    // A cancel meanwhile left only the busy bit.
    if (!g_tracker.calibrationGrab.compare_exchange_strong(busy, (next & kGrabCounts) != 0 ? next : 0,
                                                           std::memory_order_release, std::memory_order_relaxed)) {
        g_tracker.calibrationGrab.fetch_and(~kGrabBusy, std::memory_order_release);
    }
}

void DrawCalibrationNotice(uint32_t* frame) {
    if (g_tracker.calibrationFailed.load(std::memory_order_relaxed) == 0) return;
    for (int32_t row = 0; row < kFrameHeight; ++row) {
        uint32_t* const line = frame + row * kFrameWidth;
        if (row < kNoticeBand || row >= kFrameHeight - kNoticeBand) {
            std::fill(line, line + kFrameWidth, kNoticeColor);
            continue;
        }
        std::fill(line, line + kNoticeBand, kNoticeColor);
        std::fill(line + kFrameWidth - kNoticeBand, line + kFrameWidth, kNoticeColor);
    }
}
