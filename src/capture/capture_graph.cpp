#include "capture/capture_graph.h"

#include "capture/camera_list.h"
#include "capture/capture_recovery.h"

#include "state/platform.h"
#include "state/tracker_state.h"

void BuildCaptureGraph() {
    PlatformCaptureCreatePipeline();
    SelectStartCamera();
    if (!PlatformCaptureCreateSource()) return;
    SetStatus(kGraphReady);
    PlatformCaptureConnect();
    PlatformCaptureRun();
    StartCaptureWatch();
}

void ShowSettingsDialog() {
    // No source, or a source already released: no pages to show.
    if (!TestStatus(kGraphReady) || g_tracker.closed || CaptureIsLost()) return;
    if (PlatformSettingsDialogIsOpen()) return;
    PlatformSettingsDialogRun();
}

void SwitchCamera() {
    if (!TestStatus(kGraphReady) || g_tracker.closed || !SelectNextCamera()) return;
    // The camera given up is no longer waited for; the one chosen is, if it
    // cannot be opened now.
    EndCaptureRecovery();
    PlatformSettingsDialogClose();
    if (PlatformCaptureSwitchSource()) {
        StartCaptureWatch();
    } else {
        OnCaptureLost();
    }
}

void ConfirmSettingsDialog() {
    if (PlatformSettingsDialogIsOpen()) PlatformSettingsDialogConfirm();
}

void TeardownCaptureGraph() {
    EndCaptureRecovery();
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
