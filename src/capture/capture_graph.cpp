#include "capture/capture_graph.h"

#include "capture/camera_list.h"
#include "state/platform.h"
#include "state/tracker_state.h"

void BuildCaptureGraph() {
    PlatformCaptureCreatePipeline();
    SelectStartCamera();
    if (!PlatformCaptureCreateSource()) return;
    SetStatus(kGraphReady);
    PlatformCaptureConnect();
    PlatformCaptureRun();
}

void ShowSettingsDialog() {
    // No source, or a source already released: no pages to show.
    if (!TestStatus(kGraphReady) || g_tracker.closed) return;
    if (PlatformSettingsDialogIsOpen()) return;
    PlatformSettingsDialogRun();
}

void SwitchCamera() {
    if (!TestStatus(kGraphReady) || g_tracker.closed) return;
    if (SelectNextCamera()) PlatformCaptureSwitchSource();
}

void ConfirmSettingsDialog() {
    if (PlatformSettingsDialogIsOpen()) PlatformSettingsDialogConfirm();
}

void TeardownCaptureGraph() {
    if (TestStatus(kGraphReady)) {
        PlatformCaptureStop();
        PlatformCaptureReleaseSource();
        // We may be running inside the dialog's modal loop: it still holds
        // the source, so the component system must outlive this call.
        if (PlatformSettingsDialogIsOpen()) {
            PlatformSettingsDialogClose();
            SetStatus(kDeferredQuit);
            PlatformStartDeferredQuitTimer(g_tracker.mainWindow.load(std::memory_order_acquire));
        }
    }
    PlatformCaptureReleasePipeline();
    if (!TestStatus(kDeferredQuit)) PlatformCaptureShutdown();
}
