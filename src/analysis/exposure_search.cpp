#include "analysis/exposure_search.h"

#include <algorithm>

#include "state/tracker_state.h"

namespace {

constexpr uint32_t kCountMask = 0xFFFFFFu;

int64_t StepOf(const PlatformExposureControl& c, int32_t value) {
    if (value <= c.minimum) return 0;
    return (int64_t{value} - c.minimum) / c.step;
}

int64_t Middle(const ExposureSearch& s) { return s.low + (s.high - s.low + 1) / 2; }

struct Driver {
    bool running = false;
    ExposureSearch search{};
    int idleMs = 0;
} g_driver;

PlatformWindow* Window() { return g_tracker.mainWindow.load(std::memory_order_acquire); }

// The count and peak of the frames since the last take; the peak starts
// again from 0.
uint32_t TakeViewWatch() {
    uint32_t word = g_tracker.viewWatch.load(std::memory_order_relaxed);
    while (!g_tracker.viewWatch.compare_exchange_weak(word, word & ~kViewRedMask, std::memory_order_acquire,
                                                      std::memory_order_relaxed)) {
    }
    return word;
}

void Finish() {
    PlatformKillExposureTimer(Window());
    PlatformExposureEnd();
    g_driver.running = false;
}

}  // namespace

int32_t ExposureStepValue(const ExposureSearch& s, int64_t step) {
    return static_cast<int32_t>(s.control.minimum + step * s.control.step);
}

int64_t BeginExposureSearch(ExposureSearch* s, const PlatformExposureControl& control, uint32_t frames) {
    s->control = control;
    if (s->control.step < 1) s->control.step = 1;
    if (s->control.maximum < s->control.minimum) s->control.maximum = s->control.minimum;
    s->low = 0;
    // Only ever darker than the camera is now: a picture already clean
    // keeps its setting, and a dim one is never brightened.
    s->high = StepOf(s->control, std::min(control.value, s->control.maximum));
    s->trying = s->low < s->high ? Middle(*s) : s->high;
    s->changedAt = s->seen = frames & kCountMask;
    s->good = 0;
    return s->trying;
}

bool JudgeExposureFrames(ExposureSearch* s, uint32_t frames, uint32_t peak, int64_t* next, bool* done) {
    *done = false;
    if (s->low >= s->high) {
        *done = true;
        return false;
    }
    frames &= kCountMask;
    const uint32_t previous = s->seen;
    if (frames == previous) return false;
    s->seen = frames;
    // A look that reaches back into the settling frames is not judged: its
    // peak may be theirs.
    if (((previous - s->changedAt) & kCountMask) < kExposureSettleFrames) return false;
    if (peak <= kExposureRedLimit) {
        s->good += (frames - previous) & kCountMask;
        if (s->good < kExposureStableFrames) return false;
        s->low = s->trying;
    } else {
        s->high = s->trying - 1;
    }
    *done = s->low >= s->high;
    const int64_t step = *done ? s->low : Middle(*s);
    if (step == s->trying) return false;
    s->trying = step;
    s->changedAt = frames;
    s->good = 0;
    *next = step;
    return true;
}

void ToggleExposureSearch() {
    if (g_driver.running) {
        StopExposureSearch();
        return;
    }
    const int32_t mode = LoadMode();
    if (mode == kModeTracking || !TestStatus(kGraphReady) || g_tracker.closed) return;
    PlatformExposureControl control{};
    if (!PlatformExposureBegin(&control)) return;
    StoreMode(kModeThreshold);
    g_driver.running = true;
    g_driver.idleMs = 0;
    const uint32_t frames = TakeViewWatch() >> kViewCountShift;
    const int64_t first = BeginExposureSearch(&g_driver.search, control, frames);
    PlatformExposureSet(ExposureStepValue(g_driver.search, first));
    PlatformStartExposureTimer(Window(), kExposureTickMs);
}

void StopExposureSearch() {
    if (g_driver.running) Finish();
}

bool ExposureSearchRunning() { return g_driver.running; }

void OnExposureTimer() {
    if (!g_driver.running) return;
    const uint32_t word = TakeViewWatch();
    const uint32_t frames = word >> kViewCountShift;
    const bool fresh = (frames & kCountMask) != g_driver.search.seen;
    int64_t next = 0;
    bool done = false;
    if (JudgeExposureFrames(&g_driver.search, frames, word & kViewRedMask, &next, &done)) {
        PlatformExposureSet(ExposureStepValue(g_driver.search, next));
    }
    g_driver.idleMs = fresh ? 0 : g_driver.idleMs + kExposureTickMs;
    if (done || g_driver.idleMs >= kExposureStallMs) {
        Finish();
        return;
    }
    PlatformStartExposureTimer(Window(), kExposureTickMs);
}
