// The end-to-end tests' hands inside Wine: reads one command a line from
// standard input and answers with one line. Input goes through the system
// (keybd_event, mouse_event) as a user's would; windows are found by class
// and title.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A file this process holds open without sharing, as another program might.
HANDLE g_held = INVALID_HANDLE_VALUE;

HWND FindConsole() { return FindWindowA("Lumidart", nullptr); }

WORD VirtualKey(const char* name) {
    if (std::strcmp(name, "space") == 0) return VK_SPACE;
    if (std::strcmp(name, "tab") == 0) return VK_TAB;
    if (std::strcmp(name, "esc") == 0) return VK_ESCAPE;
    if (std::strcmp(name, "f12") == 0) return VK_F12;
    return 0;
}

void Key(WORD key, bool down) {
    keybd_event(static_cast<BYTE>(key), static_cast<BYTE>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC)),
                down ? 0 : KEYEVENTF_KEYUP, 0);
}

struct DialogCount {
    int visible;
    HWND last;
};

BOOL CALLBACK CountDialog(HWND window, LPARAM data) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    auto* count = reinterpret_cast<DialogCount*>(data);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
        ++count->visible;
        count->last = window;
    }
    return TRUE;
}

// Answers one command; false ends the session.
bool Handle(const char* line) {
    char verb[32] = {};
    char name[32] = {};
    int x = 0, y = 0, ms = 0;
    if (std::sscanf(line, "%31s", verb) != 1) return true;
    const std::string command = verb;
    if (command == "quit") return false;
    if (command == "window") {
        const HWND window = FindConsole();
        if (window == nullptr) {
            std::printf("none\n");
            return true;
        }
        RECT outer, client;
        GetWindowRect(window, &outer);
        GetClientRect(window, &client);
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        char title[128] = {};
        GetWindowTextA(window, title, sizeof title);
        std::printf("window %ld %ld %ld %ld client %ld %ld at %ld %ld iconic %d visible %d foreground %d screen %d %d "
                    "title %s\n",
                    outer.left, outer.top, outer.right, outer.bottom, client.right - client.left,
                    client.bottom - client.top, origin.x, origin.y, IsIconic(window) ? 1 : 0,
                    IsWindowVisible(window) ? 1 : 0, GetForegroundWindow() == window ? 1 : 0,
                    GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), title);
    } else if (command == "key" && std::sscanf(line, "%*s %31s", name) == 1 && VirtualKey(name) != 0) {
        Key(VirtualKey(name), true);
        Sleep(30);
        Key(VirtualKey(name), false);
        std::printf("ok\n");
    } else if (command == "hold" && std::sscanf(line, "%*s %31s %d", name, &ms) == 2 && VirtualKey(name) != 0) {
        Key(VirtualKey(name), true);
        Sleep(static_cast<DWORD>(ms));
        Key(VirtualKey(name), false);
        std::printf("ok\n");
    } else if (command == "move" && std::sscanf(line, "%*s %d %d", &x, &y) == 2) {
        SetCursorPos(x, y);
        std::printf("ok\n");
    } else if (command == "click" && std::sscanf(line, "%*s %d %d", &x, &y) == 2) {
        SetCursorPos(x, y);
        Sleep(50);
        mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        Sleep(50);
        mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        std::printf("ok\n");
    } else if (command == "button" && std::sscanf(line, "%*s %31s", name) == 1) {
        mouse_event(std::strcmp(name, "down") == 0 ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        std::printf("ok\n");
    } else if (command == "cursor") {
        POINT p;
        GetCursorPos(&p);
        std::printf("cursor %ld %ld\n", p.x, p.y);
    } else if (command == "dialogs") {
        DialogCount count{0, nullptr};
        EnumWindows(CountDialog, reinterpret_cast<LPARAM>(&count));
        std::printf("dialogs %d\n", count.visible);
    } else if (command == "close") {
        // What the caption's close button sends.
        const HWND window = FindConsole();
        if (window != nullptr) PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        std::printf(window != nullptr ? "ok\n" : "none\n");
    } else if (command == "lock") {
        // The rest of the line is a path, spaces and all.
        const char* path = line + std::strlen("lock");
        while (*path == ' ') ++path;
        std::string name = path;
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
        if (g_held != INVALID_HANDLE_VALUE) CloseHandle(g_held);
        g_held = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (g_held == INVALID_HANDLE_VALUE) {
            std::printf("failed %lu\n", GetLastError());
        } else {
            std::printf("ok\n");
        }
    } else if (command == "unlock") {
        if (g_held != INVALID_HANDLE_VALUE) CloseHandle(g_held);
        g_held = INVALID_HANDLE_VALUE;
        std::printf("ok\n");
    } else if (command == "post-close" && std::sscanf(line, "%*s %d", &x) == 1) {
        // Close requests back to back, before the first is handled.
        const HWND window = FindConsole();
        for (int i = 0; window != nullptr && i < x; ++i) PostMessageA(window, WM_CLOSE, 0, 0);
        std::printf(window != nullptr ? "ok\n" : "none\n");
    } else if (command == "close-while-alive" && std::sscanf(line, "%*s %d", &ms) == 1) {
        // Keeps asking a console to close from its appearance until it is
        // gone (or ms have passed); answers how many requests went out.
        const DWORD start = GetTickCount();
        int posted = 0;
        bool seen = false;
        while (GetTickCount() - start < static_cast<DWORD>(ms)) {
            const HWND window = FindConsole();
            if (window == nullptr && seen) break;
            if (window != nullptr) {
                seen = true;
                if (PostMessageA(window, WM_CLOSE, 0, 0)) ++posted;
            }
            Sleep(5);
        }
        std::printf("posted %d seen %d gone %d\n", posted, seen ? 1 : 0, FindConsole() == nullptr ? 1 : 0);
    } else if (command == "hold-watch" && std::sscanf(line, "%*s %31s %d %d", name, &ms, &x) == 3 &&
               VirtualKey(name) != 0) {
        // Holds a key for ms, then watches x ms more; counts how often the
        // console leaves and enters the minimised state meanwhile, and when
        // it first left it.
        const HWND window = FindConsole();
        bool iconic = window != nullptr && IsIconic(window);
        int restores = 0, minimises = 0;
        long firstRestore = -1;
        bool down = true;
        Key(VirtualKey(name), true);
        const DWORD start = GetTickCount();
        for (DWORD elapsed = 0; elapsed < static_cast<DWORD>(ms + x); elapsed = GetTickCount() - start) {
            if (down && elapsed >= static_cast<DWORD>(ms)) {
                Key(VirtualKey(name), false);
                down = false;
            }
            Sleep(10);
            const bool now = window != nullptr && IsIconic(window);
            if (iconic && !now && ++restores == 1) firstRestore = static_cast<long>(GetTickCount() - start);
            if (!iconic && now) ++minimises;
            iconic = now;
        }
        if (down) Key(VirtualKey(name), false);
        std::printf("restores %d minimises %d iconic %d first %ld\n", restores, minimises, iconic ? 1 : 0,
                    firstRestore);
    } else if (command == "activate") {
        const HWND window = FindConsole();
        if (window != nullptr) SetForegroundWindow(window);
        std::printf(window != nullptr ? "ok\n" : "none\n");
    } else {
        std::printf("error unknown command: %s", line);
    }
    return true;
}

}  // namespace

int main() {
    char line[256];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        if (!Handle(line)) break;
        std::fflush(stdout);
    }
    return 0;
}
