// Everything the portable code needs from an operating system, as plain free
// functions. Each platform (Windows, X11/GStreamer, the tests' fake) defines
// all of them in its own sources; CMake picks one set at link time. No
// platform header may be included here: handles are opaque.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "state/tracker_state.h"

struct PlatformFile;

struct PlatformRect {
    int32_t left, top, right, bottom;
};

struct PlatformPoint {
    int32_t x, y;
};

struct PlatformScreenMetrics {
    int32_t screenWidth, screenHeight;  // the target monitor, pixels
    int32_t screenLeft, screenTop;      // the target monitor's origin on the desktop
};

enum PlatformKey {
    kKeyF12,
    kKeyLeftButton,
    kKeyMiddleButton,
    kKeyRightButton,
};

enum PlatformPen {
    kPenQuad,       // solid blue, one pixel
    kPenCrosshair,  // solid cyan, one pixel
};

// --- Threads and the Frame ready event -------------------------------------

// Auto-reset, created unsignalled, unnamed.
PlatformEvent* PlatformCreateEvent();
void PlatformSignalEvent(PlatformEvent* event);
// Blocks until signalled, then resets it.
void PlatformWaitEvent(PlatformEvent* event);
void PlatformCloseEvent(PlatformEvent* event);
// Starts a detached thread with the default stack running body(); false if
// no thread could be started.
bool PlatformStartThread(void (*body)());
void PlatformSleepMs(int milliseconds);
// Called by the UI thread while it waits for another thread: carries out the
// window work other threads are blocked on (messages sent to our windows),
// without dispatching anything posted.
void PlatformPumpWindowRequests();

// --- Input -----------------------------------------------------------------

// True while the key or mouse button is down, whichever window has focus.
bool PlatformIsKeyDown(PlatformKey key);
// Moves the pointer to an absolute position: 0..65535 spans the target
// monitor on each axis.
void PlatformInjectAbsoluteMove(int32_t x, int32_t y);

// --- Main window -----------------------------------------------------------

// The target monitor as it is now (the primary one unless the operator
// chose another); UI thread. Moves injected afterwards land on it.
void PlatformGetScreenMetrics(PlatformScreenMetrics* metrics);
// The console of a copy already running, or null. Deciding must be atomic:
// of copies started together exactly one finds none.
PlatformWindow* PlatformFindRunningInstance();
// Creates and shows the main window: its outer top-left corner at (x, y),
// a client area of the given size, and around it whatever frame the
// platform draws. The platform calls OnCreate (app/main_window.h) during
// creation, with the new window, before this returns.
void PlatformCreateMainWindow(int32_t x, int32_t y, int32_t clientWidth, int32_t clientHeight);
// Runs the event loop until PlatformPostQuit.
void PlatformRunMessageLoop();
// From any thread: show, raise and un-minimise; the un-minimise reaches the
// UI thread later as a restored notice. Never waits for the UI thread.
void PlatformRestoreWindow(PlatformWindow* window);
// Asks for the window to be minimised; the minimised notice follows.
void PlatformRequestMinimize(PlatformWindow* window);
// Where the window's client area is on the desktop now, as the platform
// knows it; any thread. False when the window is gone.
bool PlatformGetClientArea(PlatformWindow* window, PlatformRect* area);
bool PlatformGetCursorPos(PlatformPoint* point);
// One-shot: OnDeferredQuitTimer runs on the UI thread about 1 ms later.
void PlatformStartDeferredQuitTimer(PlatformWindow* window);
void PlatformKillDeferredQuitTimer(PlatformWindow* window);
void PlatformPostQuit();

// --- Settings file (relative names: the current directory) -----------------

// Opens an existing file for reading with no sharing; null if it cannot.
PlatformFile* PlatformOpenExistingFile(const char* name);
// True when something of that name exists, readable or not.
bool PlatformFileExists(const char* name);
// Size in bytes, or -1.
int64_t PlatformFileSize(PlatformFile* file);
// Reads exactly size bytes from the start; false if fewer could be read.
bool PlatformReadFile(PlatformFile* file, void* buffer, size_t size);
void PlatformCloseFile(PlatformFile* file);
// Writes a temporary file beside name, flushes it and renames it over name
// in one step; a symbolic link named name stays, and the file it leads to
// is replaced instead. A read-only file is kept. On failure the previous
// file is left as it was.
bool PlatformReplaceFile(const char* name, const void* data, size_t size);

// --- Picture (picture coordinates: x from the left, y from the top) --------

// Creates the picture surface for the window, its pens and the window's
// drawing target; returns its pixel memory, which becomes the Frame buffer
// (640 x 480 words 0x00RRGGBB, rows bottom-up), or null.
uint32_t* PlatformCreatePicture(PlatformWindow* window);
void PlatformReleasePicture();
// Until a pen is selected the default pen (solid black) draws.
void PlatformSelectPen(PlatformPen pen);
// One-pixel line in the current pen that excludes its end point.
void PlatformDrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
// One-pixel border in the current pen, white interior; right and bottom
// bounds exclusive.
void PlatformDrawRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
// Stretches the 16 x 16 block at (srcX, srcY) over the 32 x 32 block at
// (dstX, dstY), each source pixel a 2 x 2 square; clipped to the picture.
void PlatformStretchBlock2x(int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY);
// Copies the whole picture 1:1 into the window's client area.
void PlatformPresentPicture();

// --- Cameras (UI thread only) -----------------------------------------------

struct PlatformCamera {
    std::string name;      // as the system names it; several may share one
    std::string identity;  // what finds this camera again, and only this one
};

// Every camera the system lists, each once, in a stable order. Starts the
// component system where listing needs it.
std::vector<PlatformCamera> PlatformListCameras();
// True when two identities that differ still name one camera, come back
// under another name (on Linux, another device node on the same bus).
bool PlatformSameCamera(const std::string& a, const std::string& b);
// True when the environment names a source of its own (LUMIDART_SOURCE on
// Linux): it replaces the remembered camera.
bool PlatformCameraOverridden();
// The camera that creating the source opens from now on, by identity;
// empty for the platform's own default source.
void PlatformCaptureSelectCamera(const std::string& identity);
// Takes the running source down, with everything built for it, and opens
// the selected camera in its place, its mode chosen afresh, and runs it;
// false when it cannot be opened or connected (the source is then out of
// use, as after a drop).
bool PlatformCaptureSwitchSource();

// --- Capture pipeline (UI thread only) -------------------------------------

// Starts the component system and creates the pipeline, its run control and
// the frame sink, attached to the pipeline.
void PlatformCaptureCreatePipeline();
// Creates the capture source, the selected camera, and adds it to the
// pipeline; false if it cannot be created.
bool PlatformCaptureCreateSource();
// Selects the source's mode and attaches its first output to the sink
// (conversion allowed).
void PlatformCaptureConnect();
void PlatformCaptureRun();
// Returns only when no frame delivery is in progress and none will follow.
void PlatformCaptureStop();
void PlatformCaptureReleaseSource();
void PlatformCaptureReleasePipeline();
// Shuts the component system down (CoUninitialize on Windows).
void PlatformCaptureShutdown();
// After the stream has ended: stops the pipeline and takes the source out
// of use; the sink stays attached.
void PlatformCaptureDropSource();
// Creates the same source again (the same identity), connects it with its
// format chosen afresh and runs it; false, with the source out of use
// again, when it cannot be opened or connected yet.
bool PlatformCaptureReopenSource();
// One-shot: OnCaptureWatchTimer runs on the UI thread about that much later.
void PlatformStartCaptureWatchTimer(PlatformWindow* window, int milliseconds);
void PlatformKillCaptureWatchTimer(PlatformWindow* window);

// The source's settings dialog, at most one at a time.
bool PlatformSettingsDialogIsOpen();
// Modal: returns when the dialog has closed. Other UI events keep flowing.
void PlatformSettingsDialogRun();
// Presses OK on the open dialog: applies and closes it.
void PlatformSettingsDialogConfirm();
// Closes the open dialog without applying; handled when this returns.
void PlatformSettingsDialogClose();

// --- Camera exposure (UI thread only) ---------------------------------------

// The control the exposure assistant turns: values minimum, minimum + step,
// ... up to maximum, a higher value giving a brighter picture.
struct PlatformExposureControl {
    int32_t minimum, maximum, step, value;
};

// Takes the capture source out of automatic exposure where it can, then
// picks the first of its exposure, gain and brightness controls that may be
// set now; false (and nothing changed) when it has none of them.
bool PlatformExposureBegin(PlatformExposureControl* control);
// Sets the picked control.
void PlatformExposureSet(int32_t value);
// Lets go of the source's controls.
void PlatformExposureEnd();
// One-shot: OnExposureTimer runs on the UI thread about that much later.
void PlatformStartExposureTimer(PlatformWindow* window, int milliseconds);
void PlatformKillExposureTimer(PlatformWindow* window);

// --- Calibration patterns (UI thread only) ----------------------------------

// Covers the monitor (as PlatformGetScreenMetrics gives it) with one grey,
// 0 black to 255 white, above every other window; shown again, it changes
// its grey at once. It never takes the keyboard from whoever has it.
void PlatformShowPattern(const PlatformScreenMetrics& monitor, int32_t grey);
void PlatformHidePattern();
// One-shot: OnCalibrationTimer runs on the UI thread about that much later.
void PlatformStartCalibrationTimer(PlatformWindow* window, int milliseconds);
void PlatformKillCalibrationTimer(PlatformWindow* window);

// --- Tracking watch ----------------------------------------------------------

// One-shot: OnTrackingWatchTimer runs on the UI thread about that much later.
void PlatformStartTrackingWatchTimer(PlatformWindow* window, int milliseconds);
