// The one process-wide record that every subsystem shares, and the shared
// types of the frame and the spot.
//
// Who writes what (readers are everywhere):
//   user-interface thread: viewWatch (its red taken back to 0),
//     calibrationGrab (requests, cancels), calibrationFailed, mode,
//     mainWindow, corners, search box, screen metrics, mapping coefficients
//     (at tracking start), the smoothed cursor at tracking start, the
//     GraphReady / DeferredQuit / CornersDirty bits, workerRun (running,
//     stop requested), frame (at create and release).
//   capture streaming thread: the FramePending bit (set), the FrameRedOnly
//     bit, the frame pixels.
//   analysis worker: viewWatch (counted, red raised), calibrationGrab
//     (frames summed), the smoothed cursor, the mapping coefficients again
//     when the screen changes during tracking, mode (Preview on F12), the
//     FramePending bit (clear), workerRun (exited), the frame pixels
//     (overlays drawn in place).
#pragma once

#include <atomic>
#include <cstdint>

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
constexpr int kFramePixels = kFrameWidth * kFrameHeight;
constexpr int kFrameBytes = kFramePixels * 4;  // 1,228,800

enum Mode : int32_t {
    kModeTracking = 0,
    kModePreview = 1,
    kModeThreshold = 2,
};

enum StatusFlag : uint32_t {
    kGraphReady = 1u << 0,
    kFramePending = 1u << 1,
    kDeferredQuit = 1u << 2,
    kCornersDirty = 1u << 3,
    // The Frame buffer holds only the red of the Search box: a Tracking
    // delivery that saved itself the rest. No picture is made of it.
    kFrameRedOnly = 1u << 4,
};

enum WorkerRunState : int32_t {
    kWorkerStopRequested = 0,
    kWorkerRunning = 1,
    kWorkerExited = 2,
};

// Indices into TrackerState::corners, in the settings file's order. Rows
// count from the bottom of the picture, so the quad's first corner is the
// lower-left one.
enum CornerIndex : int {
    kLowerLeftX, kLowerLeftY,
    kLowerRightX, kLowerRightY,
    kUpperLeftX, kUpperLeftY,
    kUpperRightX, kUpperRightY,
    kCornerValues
};

// The spot's box as the detector reports it: the lowest plus the highest
// column, and the lowest plus the highest row (twice the spot's centre, in
// frame coordinates, so a half-pixel centre stays exact).
struct SpotSums {
    int32_t x;
    int32_t y;
};

// A pixel of the target monitor, from its top-left corner.
struct ScreenPoint {
    int32_t x;
    int32_t y;
};

// Opaque platform objects; each platform defines them in its own sources.
struct PlatformWindow;
struct PlatformEvent;

struct TrackerState {
    // Stored with release, loaded with acquire: a Tracking value published
    // by the UI thread carries the mapping and the centred cursor with it.
    std::atomic<int32_t> mode;
    std::atomic<PlatformWindow*> mainWindow;
    // Changed only bit by bit with fetch_or / fetch_and.
    std::atomic<uint32_t> status;

    std::atomic<int32_t> corners[kCornerValues];
    std::atomic<int32_t> xMin, xMax, yMin, yMax;

    // The target monitor's size: taken at start-up, at each tracking start
    // and when the screen changes (UI thread).
    std::atomic<int32_t> screenWidth, screenHeight;

    // Plain doubles: written only before Mode becomes Tracking, read only in
    // Tracking passes; the Mode release/acquire pair orders them.
    double xu, xv, yu, yv, wu, wv;

    std::atomic<int32_t> cursorX, cursorY;

    std::atomic<PlatformEvent*> frameReady;
    std::atomic<int32_t> workerRun;
    // Frame deliveries between their look at frameReady and their signal.
    std::atomic<int32_t> deliveriesInProgress;

    // The Frame buffer: 640 x 480 pixels 0x00RRGGBB, rows bottom-up.
    std::atomic<uint32_t*> frame;

    // What the exposure assistant watches, one word so that a frame's red
    // and its count change together: bits 8..31 count the Preview and
    // Threshold-view passes (wrapping), bits 0..7 hold the highest red
    // inside the Search box of those passes since the assistant last took
    // it. The worker raises both per pass, the UI thread clears the red.
    std::atomic<uint32_t> viewWatch;

    // The automatic calibration's hand-over of frames: bits 0..7 count the
    // frames still to sum, bits 8..15 those still to let pass first, bit 16
    // names the sum they go to, bit 17 is set while the worker adds one.
    // The sums belong to the worker while a count is left or bit 17 is set,
    // to the UI thread once the word is 0.
    std::atomic<uint32_t> calibrationGrab;
    // Non-zero while the console shows that a calibration failed (UI thread
    // writes, the worker draws).
    std::atomic<int32_t> calibrationFailed;

    // Tracking passes run so far (wrapping): the UI thread polls F12 itself
    // once it sees this stand still.
    std::atomic<uint32_t> trackingPasses;

    // UI thread only: the close sequence has run, so a later close request
    // (or a key that needs the capture source) finds nothing to act on.
    bool closed;
    // UI thread only: the settings file exists but could not be read at
    // start (locked, no access, read error), so the quad in memory is the
    // defaults, not the operator's; it must not replace that file unless a
    // corner was set in this run.
    bool settingsUnread;
};

extern TrackerState g_tracker;

// Back to the zeroed state of process start. Tests only.
void ResetTrackerState();

inline int32_t LoadMode() { return g_tracker.mode.load(std::memory_order_acquire); }
inline void StoreMode(int32_t mode) { g_tracker.mode.store(mode, std::memory_order_release); }

inline bool TestStatus(uint32_t bit) {
    return (g_tracker.status.load(std::memory_order_acquire) & bit) != 0;
}
inline void SetStatus(uint32_t bit) { g_tracker.status.fetch_or(bit, std::memory_order_acq_rel); }
inline void ClearStatus(uint32_t bit) { g_tracker.status.fetch_and(~bit, std::memory_order_acq_rel); }

inline int32_t Corner(int index) { return g_tracker.corners[index].load(std::memory_order_relaxed); }

// One consistent-enough copy of the Search box, taken once per use.
struct SearchBox {
    int32_t xMin, xMax, yMin, yMax;
};
SearchBox LoadSearchBox();

constexpr uint32_t kViewRedMask = 0xFFu;
constexpr int kViewCountShift = 8;
