// The end-to-end tests' hands inside Wine: reads one command a line from
// standard input and answers with one line. Input goes through the system
// (keybd_event, mouse_event) as a user's would; windows are found by class
// and title.
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A file this process holds open without sharing, as another program might.
HANDLE g_held = INVALID_HANDLE_VALUE;

HWND FindConsole() { return FindWindowA("Lumidart", nullptr); }

WORD VirtualKey(const char* name) {
    if (std::strcmp(name, "space") == 0) return VK_SPACE;
    if (std::strcmp(name, "tab") == 0) return VK_TAB;
    if (std::strcmp(name, "esc") == 0) return VK_ESCAPE;
    if (std::strcmp(name, "f12") == 0) return VK_F12;
    if (std::strcmp(name, "e") == 0) return 'E';
    if (std::strcmp(name, "c") == 0) return 'C';
    if (std::strcmp(name, "a") == 0) return 'A';
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

// One command's words after its name, and the whole of the rest of its
// line (a path may hold spaces).
struct Arguments {
    std::vector<std::string> words;
    std::string rest;
};

bool Number(const std::string& word, int* value) { return std::sscanf(word.c_str(), "%d", value) == 1; }

enum class Outcome { kAnswered, kNotUnderstood, kQuit };

using Handler = Outcome (*)(const Arguments&);

Outcome Ok() {
    std::printf("ok\n");
    return Outcome::kAnswered;
}

// "ok" when the console exists, else "none".
Outcome OkIfConsole(HWND window) {
    std::printf(window != nullptr ? "ok\n" : "none\n");
    return Outcome::kAnswered;
}

Outcome Quit(const Arguments&) { return Outcome::kQuit; }

Outcome Window(const Arguments&) {
    const HWND window = FindConsole();
    if (window == nullptr) {
        std::printf("none\n");
        return Outcome::kAnswered;
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
    return Outcome::kAnswered;
}

Outcome PressKey(const Arguments& a) {
    const WORD key = VirtualKey(a.words[0].c_str());
    if (key == 0) return Outcome::kNotUnderstood;
    Key(key, true);
    Sleep(30);
    Key(key, false);
    return Ok();
}

Outcome HoldUntilRestored(const Arguments& a) {
    // Holds a key until the console is shown and not minimised (or ms have
    // passed): the program polls keys, so it must be down when it looks.
    // NOTE: Wine brings its key state in line with the X server's keymap
    // when one of its windows gains the focus, which releases a key that
    // went in through keybd_event; such a key is pressed again.
    const WORD key = VirtualKey(a.words[0].c_str());
    int ms = 0;
    if (key == 0 || !Number(a.words[1], &ms)) return Outcome::kNotUnderstood;
    const DWORD start = GetTickCount();
    bool seen = false;
    int presses = 0;
    while (!seen && GetTickCount() - start < static_cast<DWORD>(ms)) {
        if ((GetAsyncKeyState(key) & 0x8000) == 0) {
            Key(key, true);
            ++presses;
        }
        Sleep(10);
        const HWND window = FindConsole();
        seen = window != nullptr && IsWindowVisible(window) && !IsIconic(window);
    }
    Key(key, false);
    std::printf("%s %lu presses %d\n", seen ? "seen" : "unseen", static_cast<unsigned long>(GetTickCount() - start),
                presses);
    return Outcome::kAnswered;
}

// The point a command names, or false.
bool Point(const Arguments& a, int* x, int* y) { return Number(a.words[0], x) && Number(a.words[1], y); }

Outcome Move(const Arguments& a) {
    int x = 0, y = 0;
    if (!Point(a, &x, &y)) return Outcome::kNotUnderstood;
    SetCursorPos(x, y);
    return Ok();
}

Outcome Click(const Arguments& a) {
    int x = 0, y = 0;
    if (!Point(a, &x, &y)) return Outcome::kNotUnderstood;
    SetCursorPos(x, y);
    Sleep(50);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    Sleep(50);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    return Ok();
}

Outcome Button(const Arguments& a) {
    mouse_event(a.words[0] == "down" ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    return Ok();
}

Outcome Cursor(const Arguments&) {
    POINT p;
    GetCursorPos(&p);
    std::printf("cursor %ld %ld\n", p.x, p.y);
    return Outcome::kAnswered;
}

Outcome Dialogs(const Arguments&) {
    DialogCount count{0, nullptr};
    EnumWindows(CountDialog, reinterpret_cast<LPARAM>(&count));
    std::printf("dialogs %d\n", count.visible);
    return Outcome::kAnswered;
}

Outcome Close(const Arguments&) {
    // What the caption's close button sends.
    const HWND window = FindConsole();
    if (window != nullptr) PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    return OkIfConsole(window);
}

Outcome Lock(const Arguments& a) {
    if (g_held != INVALID_HANDLE_VALUE) CloseHandle(g_held);
    g_held = CreateFileA(a.rest.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_held == INVALID_HANDLE_VALUE) {
        std::printf("failed %lu\n", GetLastError());
        return Outcome::kAnswered;
    }
    return Ok();
}

Outcome Unlock(const Arguments&) {
    if (g_held != INVALID_HANDLE_VALUE) CloseHandle(g_held);
    g_held = INVALID_HANDLE_VALUE;
    return Ok();
}

Outcome PostClose(const Arguments& a) {
    // Close requests back to back, before the first is handled.
    int count = 0;
    if (!Number(a.words[0], &count)) return Outcome::kNotUnderstood;
    const HWND window = FindConsole();
    for (int i = 0; window != nullptr && i < count; ++i) PostMessageA(window, WM_CLOSE, 0, 0);
    return OkIfConsole(window);
}

Outcome CloseWhileAlive(const Arguments& a) {
    // Keeps asking a console to close from its appearance until it is
    // gone (or ms have passed); answers how many requests went out.
    int ms = 0;
    if (!Number(a.words[0], &ms)) return Outcome::kNotUnderstood;
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
    return Outcome::kAnswered;
}

Outcome HoldAndWatch(const Arguments& a) {
    // Holds a key for ms, then watches more ms; counts how often the
    // console leaves and enters the minimised state meanwhile, and when it
    // first left it.
    const WORD key = VirtualKey(a.words[0].c_str());
    int ms = 0, more = 0;
    if (key == 0 || !Number(a.words[1], &ms) || !Number(a.words[2], &more)) return Outcome::kNotUnderstood;
    const HWND window = FindConsole();
    bool iconic = window != nullptr && IsIconic(window);
    int restores = 0, minimises = 0;
    long firstRestore = -1;
    bool down = true;
    Key(key, true);
    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < static_cast<DWORD>(ms + more); elapsed = GetTickCount() - start) {
        if (down && elapsed >= static_cast<DWORD>(ms)) {
            Key(key, false);
            down = false;
        }
        // Released by Wine's key state sync (see HoldUntilRestored).
        if (down && (GetAsyncKeyState(key) & 0x8000) == 0) Key(key, true);
        Sleep(10);
        const bool now = window != nullptr && IsIconic(window);
        if (iconic && !now && ++restores == 1) firstRestore = static_cast<long>(GetTickCount() - start);
        if (!iconic && now) ++minimises;
        iconic = now;
    }
    if (down) Key(key, false);
    std::printf("restores %d minimises %d iconic %d first %ld\n", restores, minimises, iconic ? 1 : 0, firstRestore);
    return Outcome::kAnswered;
}

Outcome Activate(const Arguments&) {
    const HWND window = FindConsole();
    if (window != nullptr) SetForegroundWindow(window);
    return OkIfConsole(window);
}

// A red 9 x 9 topmost popup standing in for the laser on the screen: the
// desktop as GDI sees it holds this program's windows.
Outcome Red(const Arguments& a) {
    static HWND red = nullptr;
    int x = 0, y = 0;
    if (!Point(a, &x, &y)) return Outcome::kNotUnderstood;
    if (red == nullptr) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = CreateSolidBrush(RGB(255, 0, 0));
        windowClass.lpszClassName = "LumidartE2eRed";
        RegisterClassA(&windowClass);
        red = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "LumidartE2eRed", "", WS_POPUP, 0, 0,
                              9, 9, nullptr, nullptr, windowClass.hInstance, nullptr);
    }
    SetWindowPos(red, HWND_TOPMOST, x, y, 9, 9, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    RedrawWindow(red, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW);
    return Ok();
}

struct Command {
    const char* name;
    std::size_t words;  // at least this many after the name; more are ignored
    Handler handle;
};

constexpr Command kCommands[] = {
    {"quit", 0, Quit},
    {"window", 0, Window},
    {"key", 1, PressKey},                     // key NAME
    {"hold-until-restored", 2, HoldUntilRestored},  // hold-until-restored NAME MS
    {"move", 2, Move},                        // move X Y
    {"click", 2, Click},                      // click X Y
    {"button", 1, Button},                    // button down|up
    {"cursor", 0, Cursor},
    {"dialogs", 0, Dialogs},
    {"close", 0, Close},
    {"lock", 0, Lock},                        // lock PATH, the rest of the line
    {"unlock", 0, Unlock},
    {"post-close", 1, PostClose},             // post-close COUNT
    {"close-while-alive", 1, CloseWhileAlive},  // close-while-alive MS
    {"hold-watch", 3, HoldAndWatch},          // hold-watch NAME MS MORE_MS
    {"activate", 0, Activate},
    {"red", 2, Red},                          // red X Y
};

// Answers one command; false ends the session.
bool Handle(const char* line) {
    std::istringstream in(line);
    std::string name;
    if (!(in >> name)) return true;
    Arguments arguments;
    for (std::string word; in >> word;) arguments.words.push_back(word);
    arguments.rest = line;
    arguments.rest.erase(0, arguments.rest.find(name) + name.size());
    arguments.rest.erase(0, arguments.rest.find_first_not_of(' '));
    while (!arguments.rest.empty() && (arguments.rest.back() == '\n' || arguments.rest.back() == '\r')) {
        arguments.rest.pop_back();
    }
    Outcome outcome = Outcome::kNotUnderstood;
    for (const Command& command : kCommands) {
        if (name == command.name && arguments.words.size() >= command.words) outcome = command.handle(arguments);
    }
    if (outcome == Outcome::kNotUnderstood) std::printf("error unknown command: %s", line);
    return outcome != Outcome::kQuit;
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
