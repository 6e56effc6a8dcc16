// The calibration pattern on Windows: a topmost popup over the target
// monitor that is never activated, so the keyboard stays where it was. It
// also carries the calibration's timer, so the console's procedure needs
// no part of it.
#include <windows.h>

#include "analysis/auto_calibration.h"
#include "state/platform.h"

namespace {

constexpr const char* kPatternClassName = "LumidartPattern";
constexpr const char* kPatternName = "Lumidart calibration";
constexpr UINT_PTR kCalibrationTimerId = 1;

HWND g_pattern = nullptr;
COLORREF g_grey = RGB(0, 0, 0);

LRESULT CALLBACK PatternWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(window, &r);
            HBRUSH const brush = CreateSolidBrush(g_grey);
            FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
            DeleteObject(brush);
            return 1;
        }
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_TIMER:
            KillTimer(window, kCalibrationTimerId);
            OnCalibrationTimer();
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Made hidden at the first use and kept: the timer lives on it.
HWND PatternWindow() {
    if (g_pattern != nullptr) return g_pattern;
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = PatternWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kPatternClassName;
    RegisterClassExA(&windowClass);
    g_pattern = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kPatternClassName, kPatternName,
                                WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    return g_pattern;
}

}  // namespace

void PlatformShowPattern(const PlatformScreenMetrics& monitor, int32_t grey) {
    const HWND window = PatternWindow();
    const BYTE level = static_cast<BYTE>(grey);
    g_grey = RGB(level, level, level);
    SetWindowPos(window, HWND_TOPMOST, monitor.screenLeft, monitor.screenTop, monitor.screenWidth, monitor.screenHeight,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    RedrawWindow(window, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ERASENOW);
}

void PlatformHidePattern() {
    if (g_pattern != nullptr) ShowWindow(g_pattern, SW_HIDE);
}

void PlatformStartCalibrationTimer(PlatformWindow*, int milliseconds) {
    SetTimer(PatternWindow(), kCalibrationTimerId, static_cast<UINT>(milliseconds), nullptr);
}

void PlatformKillCalibrationTimer(PlatformWindow*) {
    if (g_pattern != nullptr) KillTimer(g_pattern, kCalibrationTimerId);
}
