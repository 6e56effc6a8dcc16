// The console window's behaviour: what each window event does. The platform
// window procedure or event loop only translates its events into these
// calls, on the UI thread.
#pragma once

#include <cstdint>

#include "state/tracker_state.h"

constexpr const char* kWindowClassName = "Lumidart";
// The single-instance search compares the whole title.
constexpr const char* kWindowTitle = "Lumidart  v1.01 - laser pointer console";

// The client area is the camera picture, drawn 1:1.
constexpr int32_t kClientWidth = kFrameWidth;
constexpr int32_t kClientHeight = kFrameHeight;

// Creation sequence: picture, calibration, worker, capture; closes at once
// when there is no capture source.
void OnCreate(PlatformWindow* self);
// Close sequence, in its fixed order; later calls do nothing.
void OnClose();
// The close sequence's save alone, for an ending that cannot run the rest
// of it. Any thread; only the UI thread changes what it writes.
void SaveAsCloseWould();
// Minimised: take the screen geometry again, solve the mapping, confirm the
// settings dialog, centre the cursor smoothing, then start tracking.
void OnMinimized();
// Restored (or sized): back to Preview.
void OnRestored();
// The screen's geometry changed: take it again; while tracking, the mapping
// is solved again for it before the next frame.
void OnScreenChanged();
void OnKeyTab();
void OnKeyEscape();
void OnKeySpace();
// E: starts the exposure assistant, or stops it where it is.
void OnKeyE();
// C in Preview or Threshold view: the next camera, the corners kept.
void OnKeyC();
// A: starts the automatic calibration, or ends it with the corners as they
// were.
void OnKeyA();
// F12 in the console: stops the exposure assistant or a calibration.
void OnKeyF12();
// Left button at a client position; sets a corner in Preview only.
void OnLeftButtonDown(uint16_t clientX, uint16_t clientY);
// The one-shot timer that ends the program after a deferred close.
void OnDeferredQuitTimer();

// Reads the screen metrics and creates the window centred on the target
// monitor.
void CreateMainWindow();
// The whole program: refuse a second copy, create the window, run the loop.
// Returns the exit code, always 0.
int RunLumidart();
