// The capture source's settings dialog on X11: a plain Xlib window with one
// row per adjustable control of the source, run modally by a nested event
// loop that keeps serving the main window. A step takes effect at once, as
// a camera's own property page does; OK keeps what was set, Cancel and
// every other close put back each control that changed.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "capture/gst_source_controls.h"
#include "platform/x11_display.h"
#include "platform/x11_event_loop.h"
#include "state/platform.h"

namespace {

constexpr const char* kDialogTitle = "Properties";
// Layout in pixels; the end-to-end tests click these places.
constexpr int kWidth = 420;
constexpr int kMargin = 10;
constexpr int kRowHeight = 26;
constexpr int kButtonWidth = 30;
constexpr int kButtonHeight = 20;
constexpr int kNameWidth = 150;
constexpr int kValueWidth = 80;
constexpr int kActionWidth = 80;
constexpr int kBigStep = 10;
// Room a window manager's frame and panels may take from the screen.
constexpr int kScreenReserve = 80;

struct Control {
    SourceControl control;  // as it was when the dialog opened
    int32_t value;
    std::vector<int32_t> items;  // a menu's indices that exist: menus may have gaps
    bool changed;
};

struct Dialog {
    bool open = false;
    Window window = 0;
    GC gc = nullptr;
    SourceControls source;  // our hold on the source while open
    std::vector<Control> controls;
    // Rows beyond what the screen holds go on in further columns, so that
    // every control and the buttons stay reachable.
    int rowsPerColumn = 1;
} g_dialog;

// The step buttons of a row, left to right, and what each adds.
const int kStepOffsets[4] = {kNameWidth, kNameWidth + kButtonWidth + 4,
                             kNameWidth + 2 * (kButtonWidth + 4) + kValueWidth,
                             kNameWidth + 3 * (kButtonWidth + 4) + kValueWidth};
const int kSteps[4] = {-kBigStep, -1, 1, kBigStep};
const char* const kStepLabels[4] = {"<<", "<", ">", ">>"};

int Count() { return static_cast<int>(g_dialog.controls.size()); }
int Columns() { return std::max(1, (Count() + g_dialog.rowsPerColumn - 1) / g_dialog.rowsPerColumn); }
int Width() { return Columns() * kWidth; }
int Height() { return kMargin + std::min(Count(), g_dialog.rowsPerColumn) * kRowHeight + kMargin + kRowHeight; }
int ActionTop() { return Height() - kMargin - kButtonHeight; }
int OkLeft() { return Width() - kMargin - 2 * kActionWidth - kMargin; }
int CancelLeft() { return Width() - kMargin - kActionWidth; }
int RowLeft(int index) { return index / g_dialog.rowsPerColumn * kWidth + kMargin; }
int RowTop(int index) { return kMargin + index % g_dialog.rowsPerColumn * kRowHeight; }

void FitRowsToScreen(int screenHeight) {
    g_dialog.rowsPerColumn = std::max(1, (screenHeight - kScreenReserve - 2 * kMargin - kRowHeight) / kRowHeight);
}

int32_t ClampToInt(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Sets a control; the row then shows what the source kept, which may be
// rounded, or the old value if it refused.
void Write(Control& c, int32_t value) {
    SetSourceControl(g_dialog.source, c.control, value);
    SourceControl now;
    const char* const property = c.control.property != nullptr ? c.control.property->name : "";
    c.value = FindSourceControl(g_dialog.source, c.control.v4l2Id, property, &now) ? now.value : value;
}

void Step(Control& c, int delta) {
    if (c.items.empty()) {
        Write(c, ClampToInt(std::clamp<int64_t>(int64_t{c.value} + delta, c.control.minimum, c.control.maximum)));
    } else {
        const auto at = std::lower_bound(c.items.begin(), c.items.end(), c.value) - c.items.begin();
        const auto last = static_cast<std::ptrdiff_t>(c.items.size()) - 1;
        Write(c, c.items[static_cast<size_t>(std::clamp<std::ptrdiff_t>(at + delta, 0, last))]);
    }
    c.changed = true;
}

// Last change first: a manual control goes back before its automatic
// switch that is listed above it.
void Restore() {
    for (auto c = g_dialog.controls.rbegin(); c != g_dialog.controls.rend(); ++c) {
        if (c->changed) Write(*c, c->control.value);
    }
}

void Destroy() {
    Display* const d = UiDisplay();
    if (g_dialog.gc != nullptr) XFreeGC(d, g_dialog.gc);
    if (g_dialog.window != 0) XDestroyWindow(d, g_dialog.window);
    XFlush(d);
    CloseSourceControls(&g_dialog.source);
    g_dialog = Dialog{};
}

void DrawText(int x, int y, const std::string& text) {
    XDrawString(UiDisplay(), g_dialog.window, g_dialog.gc, x, y, text.c_str(), static_cast<int>(text.size()));
}

void DrawButton(int x, int y, int width, const char* label) {
    XDrawRectangle(UiDisplay(), g_dialog.window, g_dialog.gc, x, y, static_cast<unsigned>(width), kButtonHeight);
    DrawText(x + 6, y + 14, label);
}

void Draw() {
    Display* const d = UiDisplay();
    XClearWindow(d, g_dialog.window);
    for (int i = 0; i < Count(); ++i) {
        const Control& c = g_dialog.controls[static_cast<size_t>(i)];
        const int left = RowLeft(i), top = RowTop(i);
        DrawText(left, top + 14, c.control.name);
        for (int b = 0; b < 4; ++b) DrawButton(left + kStepOffsets[b], top, kButtonWidth, kStepLabels[b]);
        DrawText(left + kStepOffsets[1] + kButtonWidth + 10, top + 14, std::to_string(c.value));
    }
    DrawButton(OkLeft(), ActionTop(), kActionWidth, "OK");
    DrawButton(CancelLeft(), ActionTop(), kActionWidth, "Cancel");
    XFlush(d);
}

bool Inside(int x, int y, int left, int top, int width) {
    return x >= left && x < left + width && y >= top && y < top + kButtonHeight;
}

void OnClick(int x, int y) {
    if (Inside(x, y, OkLeft(), ActionTop(), kActionWidth)) {
        PlatformSettingsDialogConfirm();
        return;
    }
    if (Inside(x, y, CancelLeft(), ActionTop(), kActionWidth)) {
        PlatformSettingsDialogClose();
        return;
    }
    if (y < kMargin) return;
    const int row = (y - kMargin) / kRowHeight;
    const int index = x / kWidth * g_dialog.rowsPerColumn + row;
    if (row >= g_dialog.rowsPerColumn || index >= Count()) return;
    Control& c = g_dialog.controls[static_cast<size_t>(index)];
    for (int i = 0; i < 4; ++i) {
        if (Inside(x, y, RowLeft(index) + kStepOffsets[i], RowTop(index), kButtonWidth)) {
            Step(c, kSteps[i]);
            Draw();
        }
    }
}

void CreateWindow() {
    Display* const d = UiDisplay();
    const int screen = DefaultScreen(d);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = WhitePixel(d, screen);
    attributes.event_mask = ExposureMask | ButtonPressMask | KeyPressMask;
    FitRowsToScreen(DisplayHeight(d, screen));
    const unsigned width = static_cast<unsigned>(Width());
    const unsigned height = static_cast<unsigned>(Height());
    g_dialog.window = XCreateWindow(d, RootWindow(d, screen), 0, 0, width, height, 0, CopyFromParent, InputOutput,
                                    CopyFromParent, CWBackPixel | CWEventMask, &attributes);
    XSizeHints* size = XAllocSizeHints();
    size->flags = USPosition | PPosition | PMinSize | PMaxSize;
    size->min_width = size->max_width = static_cast<int>(width);
    size->min_height = size->max_height = static_cast<int>(height);
    XSetWMNormalHints(d, g_dialog.window, size);
    XFree(size);
    XStoreName(d, g_dialog.window, kDialogTitle);
    Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, g_dialog.window, &deleteWindow, 1);
    g_dialog.gc = XCreateGC(d, g_dialog.window, 0, nullptr);
    XSetForeground(d, g_dialog.gc, BlackPixel(d, screen));
    XMapRaised(d, g_dialog.window);
    XFlush(d);
}

bool DialogClosed() { return !g_dialog.open; }

// The dialog's share of the event loop while it runs.
bool HandleDialogEvent(XEvent* event) {
    if (!g_dialog.open || event->xany.window != g_dialog.window) return false;
    switch (event->type) {
        case Expose:
            if (event->xexpose.count == 0) Draw();
            break;
        case ButtonPress:
            if (event->xbutton.button == Button1) OnClick(event->xbutton.x, event->xbutton.y);
            break;
        case KeyPress: {
            const KeySym key = XLookupKeysym(&event->xkey, 0);
            if (key == XK_Return || key == XK_KP_Enter) PlatformSettingsDialogConfirm();
            if (key == XK_Escape) PlatformSettingsDialogClose();
            break;
        }
        case ClientMessage:
            if (static_cast<Atom>(event->xclient.data.l[0]) == XInternAtom(UiDisplay(), "WM_DELETE_WINDOW", False)) {
                PlatformSettingsDialogClose();
            }
            break;
        default:
            break;
    }
    return true;
}

}  // namespace

bool PlatformSettingsDialogIsOpen() { return g_dialog.open; }

void PlatformSettingsDialogRun() {
    if (g_dialog.open || !OpenSourceControls(&g_dialog.source)) return;
    g_dialog.open = true;
    for (const SourceControl& control : ListSourceControls(g_dialog.source)) {
        g_dialog.controls.push_back({control, control.value, SourceMenuItems(g_dialog.source, control), false});
    }
    CreateWindow();
    AddX11EventHandler(HandleDialogEvent);
    RunEventLoopUntil(DialogClosed);
    RemoveX11EventHandler(HandleDialogEvent);
    // The loop also ends when the program quits.
    if (g_dialog.open) Destroy();
}

void PlatformSettingsDialogConfirm() {
    if (g_dialog.open) Destroy();
}

void PlatformSettingsDialogClose() {
    if (!g_dialog.open) return;
    Restore();
    Destroy();
}
