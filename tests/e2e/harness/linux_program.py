"""The Linux program on a Screen: starting it with the virtual camera,
driving it with keys and clicks, reading its console and its outcome."""

import ctypes
import ctypes.util
import os
import shutil
import subprocess
import sys

from .checks import PATIENCE, Failure, check, run_in_scratch, wait_for
from .console import CYAN, H, SETTINGS_DIALOG, TITLE, W
from .display import Screen


class Program:
    runs = 0

    def __init__(self, screen, program, workdir, source="lumidartvirtualcam", extra_env=None, preexec_fn=None,
                 args=()):
        self.screen = screen
        self.workdir = workdir
        env = dict(screen.env, LUMIDART_SOURCE=source,
                   LUMIDART_VIRTUALCAM_CONTROL=os.path.join(screen.workdir, "control.txt"), **(extra_env or {}))
        # The program prints nothing itself: its error output is what a
        # sanitizer or a library reports, kept for the checks.
        Program.runs += 1
        self.log = os.path.join(screen.workdir, "stderr-%d.txt" % Program.runs)

        def start():
            with open(self.log, "ab") as log:
                return subprocess.Popen([program] + list(args), cwd=workdir, env=env, stdout=subprocess.DEVNULL,
                                        stderr=log, preexec_fn=preexec_fn)

        self.start = start
        self.process = self.start()
        self.window = None
        self.x = self.y = None

    def stall_report(self):
        """Which side stalled: the program (window never mapped) or the window
        manager (mapped but never managed), and the program's threads."""
        info = self.screen.run(["xwininfo", "-id", str(self.window)], check_status=False)
        mapping = next((line.strip() for line in info.splitlines() if "Map State" in line), "no map state")
        report = "WM_STATE %s, %s, program %s, window manager %s" % (
            self.screen.wm_state(self.window), mapping, "running" if self.process.poll() is None else "ended",
            "running" if self.screen.wm is not None and self.screen.wm.poll() is None else "ended")
        if shutil.which("gdb") and self.process.poll() is None:
            report += "\n" + subprocess.run(["gdb", "-p", str(self.process.pid), "-batch", "-ex", "thread apply all bt"],
                                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                            timeout=60).stdout
        return report

    def wait_for_window(self, retry=True, monitor=(0, 0, W, H), managed=True):
        """Waits for the console, centred on monitor (left, top, width,
        height); managed: a window manager is running and manages it."""
        def found():
            check(self.process.poll() is None, "the program ended early with %s" % self.process.returncode)
            return self.screen.only_window_titled(TITLE)

        # Start-up builds the capture pipeline before the window is mapped;
        # on a loaded machine GStreamer's first start can take seconds.
        self.window = wait_for("the console window", found, timeout=30.0)
        try:
            self.x, self.y = wait_for("the mapped window", lambda: (
                self.screen.wm_state(self.window) == "Normal" if managed else self.screen.viewable(self.window))
                and self.screen.origin(self.window), timeout=30.0)
        except Failure as failure:
            report = "%s (%s)" % (failure, self.stall_report())
            if not retry:
                raise Failure(report) from None
            # NOTE: seen twice in about twenty clean-clone runs and never on
            # demand; the report is printed so that each occurrence says which
            # side stalled. A second stall fails the test.
            print("RETRY start-up after a stall: " + report, flush=True)
            self.process.kill()
            self.process.wait()
            self.process = self.start()
            return self.wait_for_window(retry=False, monitor=monitor, managed=managed)
        left, top, width, height = monitor
        check(self.screen.geometry(self.window)[2:] == (640, 480), "console client area not 640 x 480")
        # A tiling manager places a floating window its own way and offers
        # no actions.
        if self.screen.manager == "i3":
            return
        check((self.x, self.y) == (left + (width - 640) // 2, top + (height - 480) // 2),
              "console at %d,%d, not centred on %s" % (self.x, self.y, monitor))
        if not managed:
            return
        props = self.screen.run(["xprop", "-id", str(self.window), "WM_CLASS", "_NET_WM_ALLOWED_ACTIONS"])
        check('"Lumidart"' in props, "window class: " + props)
        # What the window manager offers: move, minimise and close, no resizing.
        check(all(a in props for a in ("_NET_WM_ACTION_MOVE", "_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_CLOSE")),
              "allowed actions: " + props)
        check("_NET_WM_ACTION_RESIZE" not in props and "_NET_WM_ACTION_MAXIMIZE" not in props,
              "allowed actions: " + props)

    def errors(self):
        with open(self.log, errors="replace") as f:
            return f.read()

    def exit_code(self, timeout=10):
        try:
            code = self.process.wait(timeout * PATIENCE)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise Failure("the program did not end")
        if code != 0:
            raise Failure("the program ended with %d:\n%s" % (code, self.errors()[-4000:]))
        return code

    def pixel(self, image, cx, cy):
        return image.at(self.x + cx, self.y + cy)

    def wait_picture(self, what, predicate, timeout=10.0):
        """Polls screenshots until predicate(pixel function) holds."""
        def holds():
            image = self.screen.grab()
            return predicate(lambda cx, cy: self.pixel(image, cx, cy))

        return wait_for(what, holds, timeout)

    def key(self, name):
        # Typed on the keyboard into the focused console.
        self.screen.xdo("windowactivate", "--sync", self.window)
        self.screen.xdo("key", name)

    def click(self, cx, cy):
        self.screen.xdo("mousemove", self.x + cx, self.y + cy, "click", 1)

    def state(self):
        return self.screen.wm_state(self.window)

    def close_with_keyboard(self):
        # The window manager turns Alt+F4 into a close request.
        self.screen.xdo("windowactivate", "--sync", self.window)
        self.screen.xdo("key", "alt+F4")


def steer(screen, **settings):
    """Rewrites the virtual camera's control file in one step."""
    path = os.path.join(screen.workdir, "control.txt")
    with open(path + ".tmp", "w") as f:
        for key, value in settings.items():
            f.write("%s %s\n" % (key, value))
    os.replace(path + ".tmp", path)


def wait_preview(p):
    p.wait_picture("the preview", lambda px: px(320, 20) == CYAN)


def open_settings_dialog(p, what="the settings dialog"):
    """Tab, then the dialog's window once it is mapped."""
    p.key("Tab")
    dialog = wait_for(what, lambda: p.screen.only_window_titled(SETTINGS_DIALOG))
    wait_for("the dialog mapped", lambda: p.screen.wm_state(dialog) == "Normal")
    return dialog


def start_tracking(p):
    p.key("Escape")
    wait_for("the console minimised", lambda: p.state() == "Iconic")


def stop_tracking(p, picture=True):
    """F12 brings the console back; picture: and its preview with it."""
    p.screen.xdo("keydown", "F12")
    try:
        wait_for("the console restored by F12", lambda: p.state() == "Normal")
    finally:
        p.screen.xdo("keyup", "F12")
    if picture:
        p.wait_picture("the preview after F12", lambda px: px(320, 20) == CYAN)


def wait_pointer(p, what, expected):
    try:
        wait_for(what, lambda: p.screen.pointer() == expected, timeout=5)
    except Failure:
        raise Failure("%s: pointer at %s, expected %s" % (what, p.screen.pointer(), expected)) from None


def click_quad(program, quad):
    """Sets the four corners by clicks: frame (x, y) is client (x, 480 - y)."""
    for x, y in quad:
        program.click(x, 480 - y)
    program.screen.xdo("mousemove", 5, 5)


# --- Close requests as a window manager or task bar sends them --------------------

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


def send_close_requests(screen, window, count):
    """count WM_DELETE_WINDOW messages to the window, back to back in one
    flush; they reach the program whatever its state, minimised too."""
    x = ctypes.CDLL(ctypes.util.find_library("X11"))
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent)]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x.XOpenDisplay(screen.env["DISPLAY"].encode())
    check(display, "no connection to the display")
    try:
        event = XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window
        event.xclient.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        for _ in range(count):
            # No event mask: delivered to the client that made the window.
            check(x.XSendEvent(display, window, 0, 0, ctypes.byref(event)) != 0, "XSendEvent failed")
        x.XFlush(display)
    finally:
        x.XCloseDisplay(display)


# --- Drivers -------------------------------------------------------------------------

def on_screen(directory, what, body, **screen_args):
    """body(screen) on a fresh X server of its own; says "ok  what" after."""
    screen = Screen(directory, **screen_args)
    try:
        body(screen)
    finally:
        screen.close()
    print("ok  " + what, flush=True)


def run_driver(doc, prefix, checks):
    """The whole of a driver that takes the program as its one argument:
    checks(program, workdir) in a scratch directory."""
    if len(sys.argv) != 2:
        print(doc, file=sys.stderr)
        return 2
    program = os.path.abspath(sys.argv[1])
    return run_in_scratch(prefix, lambda workdir: checks(program, workdir), "all passed")
