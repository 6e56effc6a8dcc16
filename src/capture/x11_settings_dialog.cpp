// The capture source's settings dialog on X11: a plain Xlib window with one
// row per adjustable control (a camera's V4L2 controls, or the integer and
// boolean properties of the source element itself), run modally by a
// nested event loop that keeps serving the main window. A step takes
// effect at once, as a camera's own property page does; OK keeps what was
// set, Cancel and every other close put back each control that changed.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <gst/gst.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "capture/gst_capture.h"
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
    std::string name;
    int32_t minimum, maximum;
    int32_t original, value;
    GParamSpec* property;  // null for a V4L2 control
    uint32_t v4l2Id;
    std::vector<int32_t> items;  // a menu's indices that exist: menus may have gaps
    bool changed = false;
};

struct Dialog {
    bool open = false;
    Window window = 0;
    GC gc = nullptr;
    GstElement* element = nullptr;  // our reference while open
    int v4l2Fd = -1;  // our own handle on the device, valid while open
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

void AddV4l2Controls(int fd) {
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (ioctl(fd, VIDIOC_QUERYCTRL, &query) == 0) {
        const bool usable = (query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) == 0 &&
                            (query.type == V4L2_CTRL_TYPE_INTEGER || query.type == V4L2_CTRL_TYPE_BOOLEAN ||
                             query.type == V4L2_CTRL_TYPE_MENU);
        v4l2_control current{};
        current.id = query.id;
        if (usable && ioctl(fd, VIDIOC_G_CTRL, &current) == 0) {
            Control c{reinterpret_cast<const char*>(query.name), query.minimum, query.maximum,
                      current.value, current.value, nullptr, query.id, {}};
            if (query.type == V4L2_CTRL_TYPE_MENU) {
                for (int32_t i = query.minimum; i <= query.maximum; ++i) {
                    v4l2_querymenu item{};
                    item.id = query.id;
                    item.index = static_cast<uint32_t>(i);
                    if (ioctl(fd, VIDIOC_QUERYMENU, &item) == 0) c.items.push_back(i);
                }
            }
            g_dialog.controls.push_back(std::move(c));
        }
        query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
    }
}

// The settings the element's own class adds, not those of its base classes.
void AddPropertyControls(GstElement* element) {
    guint count = 0;
    GParamSpec** const params = g_object_class_list_properties(G_OBJECT_GET_CLASS(element), &count);
    for (guint i = 0; i < count; ++i) {
        GParamSpec* const param = params[i];
        if (param->owner_type != G_OBJECT_TYPE(element)) continue;
        if ((param->flags & G_PARAM_READWRITE) != G_PARAM_READWRITE || (param->flags & G_PARAM_CONSTRUCT_ONLY) != 0) {
            continue;
        }
        GValue value = G_VALUE_INIT;
        g_value_init(&value, param->value_type);
        g_object_get_property(G_OBJECT(element), param->name, &value);
        if (G_IS_PARAM_SPEC_INT(param)) {
            const auto* s = G_PARAM_SPEC_INT(param);
            const int32_t v = g_value_get_int(&value);
            g_dialog.controls.push_back({param->name, s->minimum, s->maximum, v, v, param, 0, {}});
        } else if (G_IS_PARAM_SPEC_UINT(param)) {
            const auto* s = G_PARAM_SPEC_UINT(param);
            const int32_t v = ClampToInt(g_value_get_uint(&value));
            g_dialog.controls.push_back(
                {param->name, ClampToInt(s->minimum), ClampToInt(s->maximum), v, v, param, 0, {}});
        } else if (G_IS_PARAM_SPEC_BOOLEAN(param)) {
            const int32_t v = g_value_get_boolean(&value) ? 1 : 0;
            g_dialog.controls.push_back({param->name, 0, 1, v, v, param, 0, {}});
        }
        g_value_unset(&value);
    }
    g_free(params);
}

// Sets a control; the row then shows what the device kept, which may be
// rounded, or the old value if it refused.
void Write(Control& c, int32_t value) {
    if (c.property == nullptr) {
        v4l2_control set{};
        set.id = c.v4l2Id;
        set.value = value;
        if (ioctl(g_dialog.v4l2Fd, VIDIOC_S_CTRL, &set) != 0) return;
        v4l2_control kept{};
        kept.id = c.v4l2Id;
        c.value = ioctl(g_dialog.v4l2Fd, VIDIOC_G_CTRL, &kept) == 0 ? kept.value : value;
        return;
    }
    GValue v = G_VALUE_INIT;
    g_value_init(&v, c.property->value_type);
    if (G_IS_PARAM_SPEC_INT(c.property)) g_value_set_int(&v, value);
    if (G_IS_PARAM_SPEC_UINT(c.property)) g_value_set_uint(&v, static_cast<guint>(value));
    if (G_IS_PARAM_SPEC_BOOLEAN(c.property)) g_value_set_boolean(&v, value != 0);
    g_object_set_property(G_OBJECT(g_dialog.element), c.property->name, &v);
    g_value_unset(&v);
    c.value = value;
}

void Step(Control& c, int delta) {
    if (c.items.empty()) {
        Write(c, ClampToInt(std::clamp<int64_t>(int64_t{c.value} + delta, c.minimum, c.maximum)));
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
        if (c->changed) Write(*c, c->original);
    }
}

void Destroy() {
    Display* const d = UiDisplay();
    if (g_dialog.gc != nullptr) XFreeGC(d, g_dialog.gc);
    if (g_dialog.window != 0) XDestroyWindow(d, g_dialog.window);
    XFlush(d);
    if (g_dialog.element != nullptr) gst_object_unref(g_dialog.element);
    if (g_dialog.v4l2Fd >= 0) close(g_dialog.v4l2Fd);
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
        DrawText(left, top + 14, c.name);
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
    GstElement* const element = CaptureSettingsElement();
    if (g_dialog.open || element == nullptr) return;
    g_dialog.open = true;
    g_dialog.element = GST_ELEMENT(gst_object_ref(element));
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "device-fd") != nullptr) {
        int fd = -1;
        g_object_get(element, "device-fd", &fd, nullptr);
        // The element may close and reuse its descriptor (a camera that
        // goes away) while the dialog is open.
        if (fd >= 0) g_dialog.v4l2Fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }
    if (g_dialog.v4l2Fd >= 0) {
        AddV4l2Controls(g_dialog.v4l2Fd);
    } else {
        AddPropertyControls(element);
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
