// The end-to-end tests' hands inside Wine: reads one command a line from
// standard input and answers with one line. Input goes through the system
// (keybd_event, mouse_event) as a user's would; windows are found by class
// and title.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

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
