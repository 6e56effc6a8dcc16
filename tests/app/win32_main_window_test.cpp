// Without its class or its window the console could never be closed: the
// program must end at once, with exit code 0, not wait invisibly for ever.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/win32_window_frame.h"
#include "state/platform.h"
#include "state/tracker_state.h"

namespace {

bool g_rescued = false;

// Ends a message loop that nothing else would end, and says so.
void CALLBACK Rescue(HWND, UINT, UINT_PTR timer, DWORD) {
    g_rescued = true;
    KillTimer(nullptr, timer);
    PostQuitMessage(0);
}

// The start-up after the search for a running copy, as RunLumidart runs it;
// true if its message loop ended by itself.
bool LoopEndsByItself() {
    g_rescued = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10000, Rescue);
    CreateMainWindow();
    PlatformRunMessageLoop();
    KillTimer(nullptr, timer);
    return !g_rescued;
}

LRESULT CALLBACK RefuseEveryWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) return 1;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class Win32MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetTrackerState(); }
    void TearDown() override { UnregisterClassA(kWindowClassName, GetModuleHandleA(nullptr)); }
};

TEST_F(Win32MainWindowTest, FailedClassRegistrationEndsTheProgram) {
    // The class name is taken in this module already, so registering it fails.
    WNDCLASSEXA taken{};
    taken.cbSize = sizeof taken;
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = GetModuleHandleA(nullptr);
    taken.lpszClassName = kWindowClassName;
    ASSERT_NE(RegisterClassExA(&taken), 0);
    EXPECT_TRUE(LoopEndsByItself());
    EXPECT_EQ(g_tracker.mainWindow.load(), nullptr);
}

TEST_F(Win32MainWindowTest, FailedWindowCreationEndsTheProgram) {
    const HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseEveryWindow, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    EXPECT_TRUE(LoopEndsByItself());
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(g_tracker.mainWindow.load(), nullptr) << "the creation sequence ran";
}

// A classic desktop's metrics: a 4-pixel sizing frame and a 19-pixel caption.
TEST(Win32WindowFrameTest, OuterSizeAndClientAreaFromTheMetrics) {
    const WindowFrame frame = FrameFromMetrics(4, 4, 19);
    EXPECT_EQ(OuterWidth(frame, kClientWidth), 646);
    EXPECT_EQ(OuterHeight(frame, kClientHeight), 505);
    const PlatformRect client = ClientAreaOf(frame, {189, 131, 189 + 646, 131 + 505});
    EXPECT_EQ(client.left, 192);
    EXPECT_EQ(client.top, 153);
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
}

}  // namespace
