// Builds, runs and tears down the capture, and shows the source's settings.
// UI thread only; the platform supplies the pipeline itself.
#pragma once

// Sets GraphReady once the capture source exists.
void BuildCaptureGraph();
// Modal; returns at once if the settings dialog is already open.
void ShowSettingsDialog();
// The next camera in the list in place of the running one; nothing with
// no other camera.
void SwitchCamera();
// Presses OK on an open settings dialog.
void ConfirmSettingsDialog();
// Stops and releases everything. With the settings dialog open it closes
// the dialog, sets DeferredQuit and leaves the last shutdown to the timer.
void TeardownCaptureGraph();
