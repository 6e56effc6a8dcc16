#include "app/main_window.h"

#include "analysis/analysis_worker.h"
#include "analysis/auto_calibration.h"
#include "analysis/exposure_search.h"
#include "analysis/tracking_watch.h"
#include "capture/camera_list.h"
#include "capture/capture_graph.h"
#include "platform/window_restore.h"
#include "preview/preview_resources.h"
#include "state/platform.h"
#include "tracking/calibration.h"
#include "tracking/cursor_driver.h"
#include "tracking/mapping_refresh.h"

void OnCreate(PlatformWindow* self) {
    g_tracker.status.store(0, std::memory_order_release);
    g_tracker.mainWindow.store(self, std::memory_order_release);
    g_tracker.closed = false;
    StoreMode(kModePreview);
    CreatePreviewResources();
    LoadCalibration();
    UpdateSearchBox();
    StartWorker();
    BuildCaptureGraph();
    if (!TestStatus(kGraphReady)) OnClose();
}

void OnClose() {
    if (g_tracker.closed) return;
    StopAutoCalibration();
    StopExposureSearch();
    g_tracker.closed = true;
    StoreMode(kModePreview);
    TeardownCaptureGraph();
    StopWorker();
    ReleasePreviewResources();
    SaveAsCloseWould();
    if (TestStatus(kGraphReady)) RememberCamera();
    if (!TestStatus(kDeferredQuit)) PlatformPostQuit();
}

void SaveAsCloseWould() {
    if (TestStatus(kGraphReady) || TestStatus(kCornersDirty)) SaveCalibration();
}

namespace {

PlatformScreenMetrics TakeScreenGeometry() {
    PlatformScreenMetrics metrics{};
    PlatformGetScreenMetrics(&metrics);
    g_tracker.screenWidth.store(metrics.screenWidth, std::memory_order_relaxed);
    g_tracker.screenHeight.store(metrics.screenHeight, std::memory_order_relaxed);
    return metrics;
}

}  // namespace

void OnMinimized() {
    StopAutoCalibration();
    StopExposureSearch();
    TakeScreenGeometry();
    SolveMappingAtTrackingStart();
    ConfirmSettingsDialog();
    CentreSmoothedCursor();
    // Release: the first Tracking pass sees the new mapping and anchor.
    StoreMode(kModeTracking);
    StartTrackingWatch();
}

void OnRestored() { StoreMode(kModePreview); }

void OnScreenChanged() {
    TakeScreenGeometry();
    // In Preview the next tracking start solves it anyway.
    if (LoadMode() == kModeTracking) RequestMappingRefresh();
}

void OnKeyTab() {
    StopAutoCalibration();
    StopExposureSearch();
    ShowSettingsDialog();
}

void OnKeyEscape() {
    // Esc during a calibration only ends it: the console stays.
    if (StopAutoCalibration()) return;
    StopExposureSearch();
    PlatformRequestMinimize(g_tracker.mainWindow.load(std::memory_order_acquire));
}

void OnKeyE() {
    StopAutoCalibration();
    ToggleExposureSearch();
}

void OnKeyC() {
    if (LoadMode() == kModeTracking) return;
    StopAutoCalibration();
    StopExposureSearch();
    SwitchCamera();
}

void OnKeyA() {
    StopExposureSearch();
    ToggleAutoCalibration();
}

void OnKeyF12() {
    StopAutoCalibration();
    StopExposureSearch();
}

void OnKeySpace() { StoreMode(LoadMode() == kModePreview ? kModeThreshold : kModePreview); }

void OnLeftButtonDown(uint16_t clientX, uint16_t clientY) {
    if (LoadMode() == kModePreview) SetCorner(clientX, clientY);
}

void OnDeferredQuitTimer() {
    PlatformKillDeferredQuitTimer(g_tracker.mainWindow.load(std::memory_order_acquire));
    // A late second tick must not shut the component system down twice.
    if (!TestStatus(kDeferredQuit)) return;
    ClearStatus(kDeferredQuit);
    PlatformCaptureShutdown();
    PlatformPostQuit();
}

void CreateMainWindow() {
    const PlatformScreenMetrics metrics = TakeScreenGeometry();
    PlatformCreateMainWindow(metrics.screenLeft + (metrics.screenWidth - kClientWidth) / 2,
                             metrics.screenTop + (metrics.screenHeight - kClientHeight) / 2, kClientWidth,
                             kClientHeight);
}

int RunLumidart() {
    PlatformWindow* const running = PlatformFindRunningInstance();
    g_tracker.mainWindow.store(running, std::memory_order_release);
    if (running != nullptr) {
        RestoreMainWindow();
        return 0;
    }
    CreateMainWindow();
    PlatformRunMessageLoop();
    return 0;
}
