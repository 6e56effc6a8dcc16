#!/usr/bin/env python3
"""End-to-end tests of the Linux program on its own Xvfb with openbox.

Usage: run_e2e.py LUMIDART            run every check
       run_e2e.py LUMIDART --screenshots DIR
                                      write DIR/preview.png and DIR/threshold.png

The program runs with the virtual camera, steered through its control file;
the checks read the screen (xwd), the pointer, window states and the
settings file. Standard library only.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

# The shared expectations sit one folder up; importing them leaves no
# compiled files in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from expected_cursor import homography, settle  # noqa: E402

W, H = 1024, 768
TITLE = "Lumidart  v1.01 - laser pointer console"
CYAN, BLUE, GREEN, BLACK, WHITE = 0x00FFFF, 0x0000FF, 0x00FF00, 0x000000, 0xFFFFFF
SPOT_CORE = 0xFA7D7D  # red 250, green and blue 125

# The virtual camera's projection screen (frame coordinates), used as the
# calibration quad: P0 lower left, P1 lower right, P2 upper left, P3 upper right.
SCREEN_QUAD = [(60, 50), (590, 30), (30, 430), (620, 460)]
DEFAULT_QUAD = [(40, 40), (600, 40), (40, 440), (600, 440)]

# Layout of the settings dialog (pixels in its window).
DIALOG_ROW0_TOP = 10
DIALOG_ROW_HEIGHT = 26
DIALOG_BIG_STEP_UP_X = 10 + 150 + 3 * 34 + 80


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, predicate, timeout=10.0):
    """Polls predicate until it returns a true value; returns that value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.05)


# --- Independent expectations ------------------------------------------------

def screen_point(quad, spot):
    """Where a spot (frame coordinates) lands on the screen, clamped and
    truncated to whole pixels."""
    sx, sy = homography(quad, W, H)(*spot)
    return int(min(max(sx, 0), W)), int(min(max(sy, 0), H))


def pointer_pixel(position, size):
    """The pixel an injected absolute move lands on: the position scaled to
    0..65535, then back onto the screen."""
    return (position * 65535 // size) * size // 65536


def expected_pointer(start, target):
    x = pointer_pixel(settle(start[0], target[0]), W)
    y = pointer_pixel(settle(start[1], target[1]), H)
    return x, y


def self_check_expectations():
    # Worked values of the mapping for this quad on a 1024 x 768 screen.
    for sums, point in (((640, 480), (534, 367)), ((200, 100), (86, 764)), ((1200, 900), (994, 14))):
        got = screen_point(SCREEN_QUAD, (sums[0] / 2, sums[1] / 2))
        check(all(abs(g - p) <= 1 for g, p in zip(got, point)), "test mapping gives %s for %s" % (got, sums))
    check([settle(100, 108), settle(108, 100)] == [105, 100], "test smoothing")


# --- The X server and its tools ------------------------------------------------

class Screen:
    def __init__(self, workdir, size=(W, H), depth=24, server_args=(), window_manager=True):
        self.workdir = workdir
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp", "-screen", "0",
             "%dx%dx%d" % (size[0], size[1], depth)] + list(server_args),
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        check(number, "Xvfb gave no display")
        self.env = dict(os.environ, DISPLAY=":" + number)
        self.wm = None
        if window_manager:
            self.start_window_manager()

    def start_window_manager(self, *args):
        self.wm = subprocess.Popen(["openbox", "--sm-disable"] + list(args), env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the window manager", lambda: "window id" in self.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check_status=False))
        self.warm_up_window_manager()

    def warm_up_window_manager(self):
        """NOTE: openbox sometimes never manages the first window mapped
        after its start (about one start in five right after another X
        server was killed; the start-up stall below). A throwaway window
        takes that place, managed or not."""
        probe = subprocess.Popen(["xlogo", "-title", "lumidart-e2e-probe"], env=self.env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline and not any(
                self.wm_state(w) == "Normal" for w in self.windows_titled("lumidart-e2e-probe")):
            time.sleep(0.05)
        probe.kill()
        probe.wait()

    def close(self):
        for p in (self.wm, self.xvfb):
            if p is None:
                continue
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()

    def run(self, args, check_status=True):
        r = subprocess.run(args, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                           timeout=20)
        if check_status:
            check(r.returncode == 0, "%s failed" % " ".join(args))
        return r.stdout

    def xdo(self, *args):
        return self.run(["xdotool"] + [str(a) for a in args])

    def windows_titled(self, title):
        out = self.run(["xdotool", "search", "--name", "^%s$" % title], check_status=False)
        return [int(w) for w in out.split()]

    def geometry(self, window):
        """Left, top (root coordinates), width and height of a window."""
        out = self.run(["xwininfo", "-id", str(window)])
        values = {}
        for line in out.splitlines():
            if ":" in line:
                key, value = line.split(":", 1)
                values[key.strip()] = value.strip()
        return tuple(int(values[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def viewable(self, window):
        return "IsViewable" in self.run(["xwininfo", "-id", str(window)], check_status=False)

    def origin(self, window):
        return self.geometry(window)[:2]

    def wm_state(self, window):
        out = self.run(["xprop", "-id", str(window), "WM_STATE"], check_status=False)
        for state in ("Iconic", "Normal", "Withdrawn"):
            if "window state: " + state in out:
                return state
        return None

    def pointer(self):
        out = self.xdo("getmouselocation")
        fields = dict(part.split(":") for part in out.split())
        return int(fields["x"]), int(fields["y"])

    def grab(self):
        return Image(subprocess.run(["xwd", "-root", "-silent"], env=self.env, stdout=subprocess.PIPE,
                                    check=True, timeout=20).stdout)

    def save_png(self, path, crop=None):
        args = ["import", "-window", "root"]
        if crop:
            args += ["-crop", "%dx%d+%d+%d" % crop, "+repage"]
        self.run(args + [path])


class Image:
    """An xwd dump of a TrueColor screen of any depth: pixels as 0xRRGGBB,
    each channel stretched to 8 bits (full and empty channels exactly)."""

    def __init__(self, data):
        header = struct.unpack(">25I", data[:100])
        header_size, width, height = header[0], header[4], header[5]
        byte_order, bits_per_pixel, bytes_per_line, ncolors = header[7], header[11], header[12], header[19]
        check(bits_per_pixel in (16, 32), "unexpected xwd pixel size %d" % bits_per_pixel)
        self.width, self.height, self.stride = width, height, bytes_per_line
        self.size = bits_per_pixel // 8
        self.order = ("<" if byte_order == 0 else ">") + ("H" if self.size == 2 else "I")
        self.masks = header[14:17]
        self.pixels = data[header_size + 12 * ncolors:]

    @staticmethod
    def channel(value, mask):
        shift = (mask & -mask).bit_length() - 1
        top = mask >> shift
        return ((value & mask) >> shift) * 255 // top

    def at(self, x, y):
        value = struct.unpack_from(self.order, self.pixels, y * self.stride + x * self.size)[0]
        r, g, b = (self.channel(value, m) for m in self.masks)
        return (r << 16) | (g << 8) | b


# --- The program -------------------------------------------------------------

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
            ws = self.screen.windows_titled(TITLE)
            return ws[0] if len(ws) == 1 else None

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
        check((self.x, self.y) == (left + (width - 640) // 2, top + (height - 480) // 2),
              "console at %d,%d, not centred on %s" % (self.x, self.y, monitor))
        check(self.screen.geometry(self.window)[2:] == (640, 480), "console client area not 640 x 480")
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
            code = self.process.wait(timeout)
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
            f.write("%s %d\n" % (key, value))
    os.replace(path + ".tmp", path)


def read_corners(directory):
    with open(os.path.join(directory, "Lumidart.set"), "rb") as f:
        data = f.read()
    check(len(data) == 16, "settings file of %d bytes" % len(data))
    v = struct.unpack("<8H", data)
    return [(v[0], v[1]), (v[2], v[3]), (v[4], v[5]), (v[6], v[7])]


def on_screen(directory, what, body, **screen_args):
    """body(screen) on a fresh X server of its own; says "ok  what" after."""
    screen = Screen(directory, **screen_args)
    try:
        body(screen)
    finally:
        screen.close()
    print("ok  " + what, flush=True)


def write_corners(directory, quad):
    """A settings file holding quad, as a previous run would leave it."""
    with open(os.path.join(directory, "Lumidart.set"), "wb") as f:
        f.write(struct.pack("<8H", *[v for corner in quad for v in corner]))


def click_quad(program, quad):
    """Sets the four corners by clicks: frame (x, y) is client (x, 480 - y)."""
    for x, y in quad:
        program.click(x, 480 - y)
    program.screen.xdo("mousemove", 5, 5)


# --- Checks ----------------------------------------------------------------

def check_preview(p):
    steer(p.screen, noise=0, spot_x=500, spot_y=100, spot_radius=4)
    p.screen.xdo("mousemove", 5, 5)
    # The spot at frame row 100 is picture line 379.
    p.wait_picture("the camera picture with overlays", lambda px: (
        px(500, 379) == SPOT_CORE and px(320, 20) == CYAN and px(320, 470) == CYAN and px(10, 240) == CYAN
        and px(630, 240) == CYAN and px(40, 439) == BLUE and px(600, 39) == BLUE and px(300, 439) == BLUE
        and px(40, 200) == BLUE and px(600, 300) == BLUE and px(321, 100) != CYAN))
    # The magnifier doubles the block under the cursor: at (320, 100) the
    # crosshair column becomes two columns wide.
    p.screen.xdo("mousemove", p.x + 320, p.y + 100)
    p.wait_picture("the magnifier", lambda px: (
        px(320, 90) == CYAN and px(321, 90) == CYAN and px(319, 90) != CYAN and px(322, 90) != CYAN
        and px(321, 120) != CYAN))
    p.screen.xdo("mousemove", 5, 5)
    p.wait_picture("no magnifier", lambda px: px(321, 90) != CYAN)


def check_threshold(p):
    p.key("space")
    # Inside the Search box: green where red exceeds the row's level, black
    # elsewhere; outside it the camera picture; the outline on top.
    p.wait_picture("the threshold view", lambda px: (
        px(500, 379) == GREEN and px(300, 300) == BLACK and px(200, 100) == BLACK and px(10, 10) not in (BLACK, GREEN)
        and px(40, 439) == BLUE and px(165, 265) == BLACK))
    # Button squares while buttons are held; the press sets no corner (in
    # Preview it would make P1 (630, 10)).
    p.screen.xdo("mousemove", p.x + 630, p.y + 470)
    p.screen.xdo("mousedown", 1)
    p.screen.xdo("mousedown", 3)
    try:
        p.wait_picture("the left and right button squares", lambda px: (
            px(150, 250) == BLUE and px(181, 281) == BLUE and px(165, 265) == WHITE and px(182, 265) == BLACK
            and px(450, 250) == BLUE and px(465, 265) == WHITE and px(315, 265) == BLACK))
        p.screen.xdo("mousedown", 2)
        p.wait_picture("the middle button square too", lambda px: (
            px(300, 250) == BLUE and px(331, 281) == BLUE and px(315, 265) == WHITE and px(165, 265) == WHITE))
    finally:
        for button in (2, 3, 1):
            p.screen.xdo("mouseup", button)
    p.screen.xdo("mousemove", 5, 5)
    p.wait_picture("the squares gone", lambda px: all(px(x, 265) == BLACK for x in (165, 315, 465)))
    p.key("space")
    p.wait_picture("the preview again", lambda px: (
        px(300, 300) not in (BLACK, GREEN) and px(320, 20) == CYAN and px(600, 439) == BLUE and px(630, 469) != BLUE))


def check_corner_click(p):
    # Client (100, 100) is frame (100, 380), the upper-left corner; the
    # outline passes one line above the click.
    p.click(100, 100)
    p.screen.xdo("mousemove", 5, 5)
    p.wait_picture("the outline through the new corner", lambda px: (
        px(100, 99) == BLUE and px(40, 39) != BLUE and px(40, 439) == BLUE))


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
    def arrived():
        return p.screen.pointer() == expected

    try:
        wait_for(what, arrived, timeout=5)
    except Failure:
        raise Failure("%s: pointer at %s, expected %s" % (what, p.screen.pointer(), expected))


def check_tracking(p):
    click_quad(p, SCREEN_QUAD)
    # Far from the screen centre, so the first move is not smoothed.
    a = (150, 120)
    steer(p.screen, noise=0, spot_x=a[0], spot_y=a[1], spot_radius=3)
    p.wait_picture("the spot at A", lambda px: px(a[0], 479 - a[1]) == SPOT_CORE)
    start_tracking(p)
    at_a = screen_point(SCREEN_QUAD, a)
    wait_pointer(p, "tracking to A", expected_pointer((W // 2, H // 2), at_a))
    # A far jump, then a small step that the smoothing shortens.
    b = (470, 380)
    steer(p.screen, noise=0, spot_x=b[0], spot_y=b[1], spot_radius=3)
    at_b = screen_point(SCREEN_QUAD, b)
    wait_pointer(p, "tracking to B", expected_pointer(at_a, at_b))
    c = (b[0] + 2, b[1] + 2)
    at_c = screen_point(SCREEN_QUAD, c)
    check(all(0 < abs(t - s) <= 8 for t, s in zip(at_c, at_b)), "C is not a small step from B")
    steer(p.screen, noise=0, spot_x=c[0], spot_y=c[1], spot_radius=3)
    start = (settle(at_a[0], at_b[0]), settle(at_a[1], at_b[1]))
    wait_pointer(p, "smoothed step to C", expected_pointer(start, at_c))
    # Space in tracking changes nothing visible; F12 brings the console back.
    stop_tracking(p)
    return c


def check_settings_dialog(p, spot):
    p.key("Tab")
    dialog = wait_for("the settings dialog", lambda: (lambda ws: ws[0] if len(ws) == 1 else None)(
        p.screen.windows_titled("Properties")))
    wait_for("the dialog mapped", lambda: p.screen.wm_state(dialog) == "Normal")
    p.key("Tab")
    time.sleep(0.5)
    check(len(p.screen.windows_titled("Properties")) == 1, "a second Tab opened another dialog")
    # The console keeps working while the dialog is open.
    p.key("space")
    p.wait_picture("the threshold view under the dialog", lambda px: px(500, 300) == BLACK)
    p.key("space")
    p.wait_picture("the preview under the dialog", lambda px: px(500, 300) not in (BLACK, GREEN))
    # Cancel discards a step: the spot stays where it is.
    left, top, width, height = p.screen.geometry(dialog)
    p.screen.xdo("mousemove", left + DIALOG_BIG_STEP_UP_X + 15, top + DIALOG_ROW0_TOP + 10, "click", 1)
    p.screen.xdo("mousemove", left + width - 50, top + height - 20, "click", 1)
    wait_for("the dialog closed by Cancel", lambda: not p.screen.windows_titled("Properties"))
    time.sleep(0.5)
    p.wait_picture("the spot where it was", lambda px: (
        px(spot[0], 479 - spot[1]) == SPOT_CORE and px(spot[0] + 10, 479 - spot[1]) != SPOT_CORE))
    p.key("Tab")
    dialog = wait_for("the settings dialog again", lambda: (lambda ws: ws[0] if len(ws) == 1 else None)(
        p.screen.windows_titled("Properties")))
    wait_for("the dialog mapped", lambda: p.screen.wm_state(dialog) == "Normal")
    # Five big steps on each of the first two rows (spot-x, spot-y) move the
    # spot 50 columns right and 50 rows up, once OK is pressed. Both axes
    # move far, so the cursor lands there unsmoothed even if a frame from
    # before the change is tracked first.
    dx, dy = p.screen.origin(dialog)
    for row in range(2):
        for _ in range(5):
            p.screen.xdo("mousemove", dx + DIALOG_BIG_STEP_UP_X + 15,
                         dy + DIALOG_ROW0_TOP + row * DIALOG_ROW_HEIGHT + 10, "click", 1)
    time.sleep(0.3)
    check(p.screen.wm_state(dialog) == "Normal", "the dialog closed on a step button")
    # Minimising presses OK: the dialog goes, its settings apply, tracking starts.
    moved = (spot[0] + 50, spot[1] + 50)
    start_tracking(p)
    wait_for("the dialog closed by the minimise", lambda: not p.screen.windows_titled("Properties"))
    wait_pointer(p, "tracking the spot moved by the dialog",
                 expected_pointer((W // 2, H // 2), screen_point(SCREEN_QUAD, moved)))


def check_second_instance(p, program, workdir):
    # The console is minimised (tracking); a second start restores it and ends.
    check(p.state() == "Iconic", "not tracking before the second start")
    second_dir = os.path.join(workdir, "second")
    os.mkdir(second_dir)
    second = Program(p.screen, program, second_dir)
    check(second.exit_code() == 0, "the second instance's exit code")
    wait_for("the first console restored", lambda: p.state() == "Normal")
    check(len(p.screen.windows_titled(TITLE)) == 1, "the second instance made a window")
    check(not os.path.exists(os.path.join(second_dir, "Lumidart.set")), "the second instance wrote settings")
    p.wait_picture("the preview after the second start", lambda px: px(320, 20) == CYAN)


def check_close_with_dialog_open(p):
    p.key("Tab")
    wait_for("the settings dialog", lambda: p.screen.windows_titled("Properties"))
    p.close_with_keyboard()
    check(p.exit_code() == 0, "exit code after closing with the dialog open")
    check(not p.screen.windows_titled("Properties"), "the dialog outlived the program")


def check_no_source(screen, program, workdir):
    directory = os.path.join(workdir, "nosource")
    os.mkdir(directory)
    started = time.monotonic()
    p = Program(screen, program, directory, source="some-nonexistent-element")
    check(p.exit_code() == 0, "exit code without a source")
    check(time.monotonic() - started < 5, "no quick end without a source")
    check(not os.path.exists(os.path.join(directory, "Lumidart.set")), "settings written without a source")


def check_restart_keeps_corners(screen, program, directory):
    p = Program(screen, program, directory)
    p.wait_for_window()
    steer(screen, noise=0, spot_x=320, spot_y=240)
    p0 = SCREEN_QUAD[0]
    # The saved lower-left corner comes back as the outline's start.
    p.wait_picture("the saved quad", lambda px: px(p0[0], 479 - p0[1]) == BLUE and px(40, 439) != BLUE)
    p.close_with_keyboard()
    check(p.exit_code() == 0, "exit code after a plain close")
    check(read_corners(directory) == SCREEN_QUAD, "corners after the second run")


def run_checks(program, workdir):
    self_check_expectations()
    screen = Screen(workdir)
    try:
        directory = os.path.join(workdir, "run")
        os.mkdir(directory)
        steer(screen, noise=0)
        p = Program(screen, program, directory)
        steps = [
            ("start", p.wait_for_window),
            ("preview", lambda: check_preview(p)),
            ("threshold view", lambda: check_threshold(p)),
            ("corner click", lambda: check_corner_click(p)),
        ]
        for name, step in steps:
            step()
            print("ok  " + name, flush=True)
        spot = check_tracking(p)
        print("ok  tracking and F12", flush=True)
        check_settings_dialog(p, spot)
        print("ok  settings dialog (Tab, second Tab, Cancel, OK on minimise)", flush=True)
        check_second_instance(p, program, workdir)
        print("ok  second instance", flush=True)
        check_close_with_dialog_open(p)
        check(read_corners(directory) == SCREEN_QUAD, "corners after the first run: %s" % read_corners(directory))
        print("ok  close with the dialog open, settings file", flush=True)
        check_no_source(screen, program, workdir)
        print("ok  no source", flush=True)
        check_restart_keeps_corners(screen, program, directory)
        print("ok  restart with the saved corners", flush=True)
    except Failure:
        # What the screen showed when a check failed, for a look afterwards.
        if os.environ.get("LUMIDART_E2E_FAILURE_SHOT"):
            screen.save_png(os.environ["LUMIDART_E2E_FAILURE_SHOT"])
        raise
    finally:
        screen.close()


def make_screenshots(program, workdir, out):
    screen = Screen(workdir)
    try:
        directory = os.path.join(workdir, "run")
        os.mkdir(directory)
        steer(screen, noise=6, spot_x=420, spot_y=300, spot_radius=4)
        p = Program(screen, program, directory)
        p.wait_for_window()
        click_quad(p, SCREEN_QUAD)
        p.wait_picture("the spot", lambda px: px(420, 179) == SPOT_CORE)
        # The magnifier over the spot.
        p.screen.xdo("mousemove", p.x + 420, p.y + 179)
        time.sleep(0.5)
        os.makedirs(out, exist_ok=True)
        screen.save_png(os.path.join(out, "preview.png"), (640, 480, p.x, p.y))
        p.key("space")
        p.screen.xdo("mousemove", 5, 5)
        p.wait_picture("the threshold view", lambda px: px(420, 179) == GREEN)
        time.sleep(0.3)
        screen.save_png(os.path.join(out, "threshold.png"), (640, 480, p.x, p.y))
        p.close_with_keyboard()
        check(p.exit_code() == 0, "exit code")
    finally:
        screen.close()


def run_in_scratch(prefix, body, passed):
    """Runs body(workdir) in a fresh directory, removed afterwards: exit
    code 0 after printing passed, or 1 after printing the failure."""
    workdir = tempfile.mkdtemp(prefix=prefix)
    try:
        body(workdir)
    except Failure as failure:
        print("FAIL " + str(failure), flush=True)
        return 1
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    print(passed)
    return 0


def run_driver(doc, prefix, checks):
    """The whole of a driver that takes the program as its one argument:
    checks(program, workdir) in a scratch directory."""
    if len(sys.argv) != 2:
        print(doc, file=sys.stderr)
        return 2
    program = os.path.abspath(sys.argv[1])
    return run_in_scratch(prefix, lambda workdir: checks(program, workdir), "all passed")


def main():
    if len(sys.argv) not in (2, 4) or (len(sys.argv) == 4 and sys.argv[2] != "--screenshots"):
        print(__doc__, file=sys.stderr)
        return 2
    program = os.path.abspath(sys.argv[1])
    if len(sys.argv) == 4:
        return run_in_scratch("lumidart-e2e-", lambda workdir: make_screenshots(
            program, workdir, os.path.abspath(sys.argv[3])), "all passed")
    return run_in_scratch("lumidart-e2e-", lambda workdir: run_checks(program, workdir), "all passed")


if __name__ == "__main__":
    sys.exit(main())
