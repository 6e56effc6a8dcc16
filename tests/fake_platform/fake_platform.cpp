#include "fake_platform/fake_platform.h"

#include <chrono>
#include <thread>

#include "app/main_window.h"
#include "preview/soft_picture.h"

FakePlatform g_fake;

namespace {

struct FakeWindowObject {
    int unused;
} g_window;

void Queue(FakeNotice notice) {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    g_fake.notices.push_back(notice);
}

}  // namespace

PlatformWindow* FakeWindow() { return reinterpret_cast<PlatformWindow*>(&g_window); }

void FakeReset() {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    g_fake.moves.clear();
    g_fake.calls.clear();
    g_fake.notices.clear();
    g_fake.quiet = false;
    g_fake.injections = 0;
    for (auto& k : g_fake.keyDown) k.store(false);
    g_fake.onInject = nullptr;
    g_fake.metrics = {1024, 768, 0, 0};
    g_fake.runningInstance = nullptr;
    g_fake.windowLeft = g_fake.windowTop = g_fake.windowRight = g_fake.windowBottom = 0;
    g_fake.cursorX = g_fake.cursorY = -100000;
    g_fake.blockRestoreUntilPump = false;
    g_fake.pumps = 0;
    g_fake.restores = 0;
    g_fake.restoreTimeouts = 0;
    g_fake.sourceAvailable = true;
    g_fake.cameras.clear();
    g_fake.cameraOverridden = false;
    g_fake.selectedCamera.clear();
    g_fake.onCaptureRun = nullptr;
    g_fake.onCaptureStop = nullptr;
    g_fake.pictureAvailable = true;
    g_fake.settingsDialogOpen = false;
    g_fake.whileSettingsDialogOpen = nullptr;
    g_fake.presents = 0;
    g_fake.exposureAvailable = true;
    g_fake.exposureControl = {0, 100, 1, 50};
    g_fake.exposureSets.clear();
    g_fake.exposureTimerArmed = false;
    g_fake.patternGrey = -1;
    g_fake.calibrationTimerMs = 0;
    g_fake.captureWatchArmed = false;
    g_fake.watchTimerArmed = false;
}

std::vector<InjectedMove> FakeMoves() {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    return g_fake.moves;
}

std::vector<std::string> FakeCalls() {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    return g_fake.calls;
}

void FakeRecord(const std::string& call) {
    if (g_fake.quiet.load()) return;
    std::lock_guard<std::mutex> guard(g_fake.lock);
    g_fake.calls.push_back(call);
}

void FakeSetWindowRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    g_fake.windowLeft = left;
    g_fake.windowTop = top;
    g_fake.windowRight = right;
    g_fake.windowBottom = bottom;
}

bool FakeDispatchNotices() {
    // An event loop also carries out what other threads send to its windows.
    PlatformPumpWindowRequests();
    for (;;) {
        FakeNotice notice;
        {
            std::lock_guard<std::mutex> guard(g_fake.lock);
            if (g_fake.notices.empty()) return true;
            notice = g_fake.notices.front();
            g_fake.notices.pop_front();
        }
        switch (notice) {
            case kNoticeRestored: OnRestored(); break;
            case kNoticeMinimized: OnMinimized(); break;
            case kNoticeTimer: OnDeferredQuitTimer(); break;
            case kNoticeQuit: return false;
        }
    }
}

// --- Input -----------------------------------------------------------------

bool PlatformIsKeyDown(PlatformKey key) { return g_fake.keyDown[key].load(); }

void PlatformInjectAbsoluteMove(int32_t x, int32_t y) {
    g_fake.injections.fetch_add(1);
    if (!g_fake.quiet.load()) {
        std::lock_guard<std::mutex> guard(g_fake.lock);
        g_fake.moves.push_back({x, y});
    }
    if (g_fake.onInject != nullptr) g_fake.onInject(x, y);
}

void PlatformPumpWindowRequests() { g_fake.pumps.fetch_add(1); }

// --- Main window -----------------------------------------------------------

void PlatformGetScreenMetrics(PlatformScreenMetrics* metrics) { *metrics = g_fake.metrics; }

PlatformWindow* PlatformFindRunningInstance() { return g_fake.runningInstance; }

void PlatformCreateMainWindow(int32_t x, int32_t y, int32_t clientWidth, int32_t clientHeight) {
    const int32_t width = clientWidth + 2 * kFakeBorder;
    const int32_t height = clientHeight + 2 * kFakeBorder + kFakeCaption;
    FakeRecord("CreateMainWindow " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) +
               "x" + std::to_string(height));
    FakeSetWindowRect(x, y, x + width, y + height);
    OnCreate(FakeWindow());
}

void PlatformRunMessageLoop() {
    while (FakeDispatchNotices()) {
        // Nothing left and no quit: a real loop would wait for ever.
        std::lock_guard<std::mutex> guard(g_fake.lock);
        if (g_fake.notices.empty()) {
            if (!g_fake.quiet.load()) g_fake.calls.push_back("LoopIdle");
            return;
        }
    }
}

void PlatformRestoreWindow(PlatformWindow* window) {
    FakeRecord(window == FakeWindow() ? "Restore" : "RestoreOther");
    if (g_fake.blockRestoreUntilPump.load()) {
        const int seen = g_fake.pumps.load();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (g_fake.pumps.load() == seen) {
            if (std::chrono::steady_clock::now() > deadline) {
                g_fake.restoreTimeouts.fetch_add(1);
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    g_fake.restores.fetch_add(1);
    Queue(kNoticeRestored);
}

void PlatformRequestMinimize(PlatformWindow*) {
    FakeRecord("RequestMinimize");
    Queue(kNoticeMinimized);
}

bool PlatformGetClientArea(PlatformWindow* window, PlatformRect* area) {
    if (window == nullptr) return false;
    *area = {g_fake.windowLeft.load() + kFakeBorder, g_fake.windowTop.load() + kFakeBorder + kFakeCaption,
             g_fake.windowRight.load() - kFakeBorder, g_fake.windowBottom.load() - kFakeBorder};
    return true;
}

bool PlatformGetCursorPos(PlatformPoint* point) {
    *point = {g_fake.cursorX.load(), g_fake.cursorY.load()};
    return true;
}

void PlatformStartDeferredQuitTimer(PlatformWindow*) {
    FakeRecord("StartDeferredQuitTimer");
    Queue(kNoticeTimer);
}

void PlatformKillDeferredQuitTimer(PlatformWindow*) { FakeRecord("KillDeferredQuitTimer"); }

void PlatformPostQuit() {
    FakeRecord("PostQuit");
    Queue(kNoticeQuit);
}

// --- Picture: the software operations --------------------------------------

uint32_t* PlatformCreatePicture(PlatformWindow*) {
    FakeRecord("CreatePicture");
    return g_fake.pictureAvailable ? SoftCreatePicture() : nullptr;
}

void PlatformReleasePicture() {
    FakeRecord("ReleasePicture");
    SoftReleasePicture();
}

void PlatformSelectPen(PlatformPen pen) { SoftSelectPen(pen); }
void PlatformDrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1) { SoftDrawLine(x0, y0, x1, y1); }
void PlatformDrawRectangle(int32_t l, int32_t t, int32_t r, int32_t b) { SoftDrawRectangle(l, t, r, b); }
void PlatformStretchBlock2x(int32_t sx, int32_t sy, int32_t dx, int32_t dy) { SoftStretchBlock2x(sx, sy, dx, dy); }
void PlatformPresentPicture() { g_fake.presents.fetch_add(1); }

// --- Capture ---------------------------------------------------------------

std::vector<PlatformCamera> PlatformListCameras() { return g_fake.cameras; }
// As on Linux: "PATH BUS", the same bus under another path.
bool PlatformSameCamera(const std::string& a, const std::string& b) {
    const size_t at = a.find(' '), bt = b.find(' ');
    return at != std::string::npos && bt != std::string::npos && a.substr(at) == b.substr(bt);
}
bool PlatformCameraOverridden() { return g_fake.cameraOverridden; }
void PlatformCaptureSelectCamera(const std::string& identity) { g_fake.selectedCamera = identity; }
bool PlatformCaptureSwitchSource() {
    FakeRecord("CaptureSwitchSource " + g_fake.selectedCamera);
    return g_fake.sourceAvailable;
}

void PlatformCaptureCreatePipeline() { FakeRecord("CaptureCreatePipeline"); }

bool PlatformCaptureCreateSource() {
    FakeRecord("CaptureCreateSource");
    return g_fake.sourceAvailable;
}

void PlatformCaptureConnect() { FakeRecord("CaptureConnect"); }
void PlatformCaptureRun() {
    FakeRecord("CaptureRun");
    if (g_fake.onCaptureRun != nullptr) g_fake.onCaptureRun();
}

void PlatformCaptureStop() {
    FakeRecord("CaptureStop");
    if (g_fake.onCaptureStop != nullptr) g_fake.onCaptureStop();
}
void PlatformCaptureReleaseSource() { FakeRecord("CaptureReleaseSource"); }
void PlatformCaptureReleasePipeline() { FakeRecord("CaptureReleasePipeline"); }
void PlatformCaptureShutdown() { FakeRecord("CaptureShutdown"); }
void PlatformCaptureDropSource() { FakeRecord("CaptureDropSource"); }
bool PlatformCaptureReopenSource() {
    FakeRecord("CaptureReopenSource");
    return g_fake.sourceAvailable;
}
void PlatformStartCaptureWatchTimer(PlatformWindow*, int) { g_fake.captureWatchArmed = true; }
void PlatformKillCaptureWatchTimer(PlatformWindow*) { g_fake.captureWatchArmed = false; }

bool PlatformSettingsDialogIsOpen() { return g_fake.settingsDialogOpen; }

void PlatformSettingsDialogRun() {
    FakeRecord("SettingsDialogOpen");
    g_fake.settingsDialogOpen = true;
    if (g_fake.whileSettingsDialogOpen != nullptr) g_fake.whileSettingsDialogOpen();
    g_fake.settingsDialogOpen = false;
    FakeRecord("SettingsDialogReturned");
}

void PlatformSettingsDialogConfirm() {
    FakeRecord("SettingsDialogConfirm");
    g_fake.settingsDialogOpen = false;
}

void PlatformSettingsDialogClose() {
    FakeRecord("SettingsDialogClose");
    g_fake.settingsDialogOpen = false;
}

bool PlatformExposureBegin(PlatformExposureControl* control) {
    FakeRecord("ExposureBegin");
    if (!g_fake.exposureAvailable) return false;
    *control = g_fake.exposureControl;
    return true;
}

void PlatformExposureSet(int32_t value) {
    g_fake.exposureSets.push_back(value);
    g_fake.exposureControl.value = value;
}

void PlatformExposureEnd() { FakeRecord("ExposureEnd"); }

void PlatformStartExposureTimer(PlatformWindow*, int) { g_fake.exposureTimerArmed = true; }

void PlatformKillExposureTimer(PlatformWindow*) { g_fake.exposureTimerArmed = false; }

void PlatformShowPattern(const PlatformScreenMetrics&, int32_t grey) { g_fake.patternGrey = grey; }

void PlatformHidePattern() { g_fake.patternGrey = -1; }

void PlatformStartCalibrationTimer(PlatformWindow*, int milliseconds) { g_fake.calibrationTimerMs = milliseconds; }

void PlatformKillCalibrationTimer(PlatformWindow*) { g_fake.calibrationTimerMs = 0; }

void PlatformStartTrackingWatchTimer(PlatformWindow*, int) { g_fake.watchTimerArmed = true; }
