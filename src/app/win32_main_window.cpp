// The console window on Win32: class, creation, the window procedure that
// turns messages into the portable handlers, the message loop, and the
// window operations other threads and processes need.
#include <windows.h>

#include <atomic>

#include "analysis/exposure_search.h"
#include "analysis/tracking_watch.h"
#include "app/main_window.h"
#include "app/win32_window_frame.h"
#include "capture/capture_recovery.h"
#include "capture/dshow_capture_graph.h"
#include "platform/win32_monitors.h"
#include "state/platform.h"

namespace {

constexpr UINT_PTR kDeferredQuitTimerId = 1;
constexpr UINT_PTR kExposureTimerId = 2;
constexpr UINT_PTR kTrackingWatchTimerId = 3;
constexpr UINT_PTR kCaptureWatchTimerId = 4;

// Read once when the window is created (UI thread); the worker's magnifier
// reads them every Preview pass.
std::atomic<int32_t> g_frameWidthAllowance{0}, g_frameHeightAllowance{0}, g_captionHeight{0};

HWND AsHwnd(PlatformWindow* window) { return reinterpret_cast<HWND>(window); }

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate(reinterpret_cast<PlatformWindow*>(window));
            return 0;
        case WM_SIZE:
            if (wParam != 0) {
                OnMinimized();
            } else {
                OnRestored();
            }
            return 0;
        case WM_DISPLAYCHANGE:
            OnScreenChanged();
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_TAB) OnKeyTab();
            if (wParam == VK_ESCAPE) OnKeyEscape();
            if (wParam == VK_SPACE) OnKeySpace();
            if (wParam == 'C') OnKeyC();
            if (wParam == 'E') OnKeyE();
            if (wParam == 'A') OnKeyA();
            if (wParam == VK_F12) OnKeyF12();
            return 0;
        case kCaptureEventMessage:
            TakeCaptureEvents();
            return 0;
        case WM_TIMER:
            if (wParam == kExposureTimerId || wParam == kTrackingWatchTimerId || wParam == kCaptureWatchTimerId) {
                KillTimer(window, wParam);
                if (wParam == kExposureTimerId) OnExposureTimer();
                if (wParam == kTrackingWatchTimerId) OnTrackingWatchTimer();
                if (wParam == kCaptureWatchTimerId) OnCaptureWatchTimer();
                return 0;
            }
            // NOTE: Wine's property frame call returns about 2 s after its
            // frame has closed; the component system must outlive that call,
            // so the deferred quit waits until it has returned.
            if (!PlatformSettingsDialogIsOpen()) OnDeferredQuitTimer();
            return 0;
        case WM_LBUTTONDOWN:
            OnLeftButtonDown(LOWORD(lParam), HIWORD(lParam));
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClassName;
    return RegisterClassExA(&windowClass) != 0;
}

}  // namespace

void PlatformPumpWindowRequests() {
    // Handles messages other threads have sent to our windows (a restore
    // from the worker), leaving everything posted in the queue.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

void PlatformGetScreenMetrics(PlatformScreenMetrics* metrics) {
    const MonitorRect target = TakeTargetMonitor();
    metrics->screenWidth = target.width;
    metrics->screenHeight = target.height;
    metrics->screenLeft = target.left;
    metrics->screenTop = target.top;
}

PlatformWindow* PlatformFindRunningInstance() {
    return reinterpret_cast<PlatformWindow*>(FindWindowA(nullptr, kWindowTitle));
}

void PlatformCreateMainWindow(int32_t x, int32_t y, int32_t clientWidth, int32_t clientHeight) {
    const WindowFrame frame =
        FrameFromMetrics(GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME), GetSystemMetrics(SM_CYCAPTION));
    g_frameWidthAllowance.store(frame.widthAllowance, std::memory_order_relaxed);
    g_frameHeightAllowance.store(frame.heightAllowance, std::memory_order_relaxed);
    g_captionHeight.store(frame.caption, std::memory_order_relaxed);
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    const HWND window =
        RegisterMainWindowClass(instance)
            ? CreateWindowExA(0, kWindowClassName, kWindowTitle, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y,
                              OuterWidth(frame, clientWidth), OuterHeight(frame, clientHeight), nullptr, nullptr,
                              instance, nullptr)
            : nullptr;
    // Without the window nothing could ever post the quit: the loop would
    // wait for ever, invisible. The program ends at once, with exit code 0.
    if (window == nullptr) {
        PlatformPostQuit();
        return;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
}

void PlatformRunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void PlatformRestoreWindow(PlatformWindow* window) {
    ShowWindow(AsHwnd(window), SW_SHOW);
    SetForegroundWindow(AsHwnd(window));
    PostMessageA(AsHwnd(window), WM_SYSCOMMAND, SC_RESTORE, 0);
}

void PlatformRequestMinimize(PlatformWindow* window) {
    PostMessageA(AsHwnd(window), WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

bool PlatformGetClientArea(PlatformWindow* window, PlatformRect* area) {
    RECT r;
    if (!GetWindowRect(AsHwnd(window), &r)) return false;
    const WindowFrame frame = {g_frameWidthAllowance.load(std::memory_order_relaxed),
                               g_frameHeightAllowance.load(std::memory_order_relaxed),
                               g_captionHeight.load(std::memory_order_relaxed)};
    *area = ClientAreaOf(frame, {r.left, r.top, r.right, r.bottom});
    return true;
}

bool PlatformGetCursorPos(PlatformPoint* point) {
    POINT p;
    if (!GetCursorPos(&p)) return false;
    *point = {p.x, p.y};
    return true;
}

void PlatformStartDeferredQuitTimer(PlatformWindow* window) {
    SetTimer(AsHwnd(window), kDeferredQuitTimerId, 1, nullptr);
}

void PlatformKillDeferredQuitTimer(PlatformWindow* window) { KillTimer(AsHwnd(window), kDeferredQuitTimerId); }

void PlatformStartExposureTimer(PlatformWindow* window, int milliseconds) {
    SetTimer(AsHwnd(window), kExposureTimerId, static_cast<UINT>(milliseconds), nullptr);
}

void PlatformKillExposureTimer(PlatformWindow* window) { KillTimer(AsHwnd(window), kExposureTimerId); }

void PlatformStartTrackingWatchTimer(PlatformWindow* window, int milliseconds) {
    SetTimer(AsHwnd(window), kTrackingWatchTimerId, static_cast<UINT>(milliseconds), nullptr);
}

void PlatformStartCaptureWatchTimer(PlatformWindow* window, int milliseconds) {
    SetTimer(AsHwnd(window), kCaptureWatchTimerId, static_cast<UINT>(milliseconds), nullptr);
}

void PlatformKillCaptureWatchTimer(PlatformWindow* window) { KillTimer(AsHwnd(window), kCaptureWatchTimerId); }

void PlatformPostQuit() { PostQuitMessage(0); }
