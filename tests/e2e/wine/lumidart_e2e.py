#!/usr/bin/env python3
"""End-to-end scenarios for lumidart.exe under Wine.

Each run starts its own Xvfb display, uses one Wine prefix (made by the
`prefix` scenario), registers the virtual camera, steers it through its
control file and drives the program through a Windows-side helper
(win32_e2e_driver.exe) that injects keys and clicks the way a user would.
Screenshots of every checked moment are kept in the work directory.
"""

import argparse
import os
import shutil
import signal
import struct
import subprocess
import sys
import time

# The shared expectations sit one folder up; importing them leaves no
# compiled files in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from expected_cursor import homography, settle  # noqa: E402

TITLE_PREFIX = "Lumidart  v1.01"
SCREEN_W, SCREEN_H = 1024, 768
DEFAULT_CORNERS = [40, 40, 600, 40, 40, 440, 600, 440]

CYAN = (0, 255, 255)
BLUE = (0, 0, 255)
GREEN = (0, 255, 0)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, probe, timeout=20.0, interval=0.1):
    """Polls probe() until it returns something truthy; returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Session:
    """One X display (a private Xvfb unless one is given) and the Wine
    environment that uses it."""

    def __init__(self, args, name, display=None):
        self.args = args
        self.work = os.path.join(args.work, name)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.control = os.path.join(self.work, "virtualcam.txt")
        self.shots = 0
        self.steers = 0
        self.driver = None
        self.xvfb = None
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": args.prefix,
            "LUMIDART_WINEPREFIX": args.prefix,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "LUMIDART_VIRTUALCAM_CONTROL": windows_path(self.control),
        })
        self.display = display
        self.steer()

    def __enter__(self):
        if self.display:
            self.env["DISPLAY"] = self.display
            return self
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
             "-screen", "0", "%dx%dx24" % (SCREEN_W, SCREEN_H)],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            display = numbers.readline().strip()
        check(display, "Xvfb reported no display")
        self.env["DISPLAY"] = ":" + display
        return self

    def __exit__(self, *exc):
        if self.driver is not None and self.driver.poll() is None:
            self.driver.kill()
        # Every Wine process of this prefix ends before the display goes.
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)
        if self.xvfb is not None:
            self.xvfb.send_signal(signal.SIGTERM)
            self.xvfb.wait(timeout=10)
        return False

    # --- Wine -------------------------------------------------------------

    def wine(self, *argv, cwd=None, timeout=120):
        return subprocess.run(["wine"] + list(argv), env=self.env, cwd=cwd or self.work,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode

    def register_camera(self, register=True):
        argv = ["regsvr32", "/s"] + ([] if register else ["/u"]) + [self.args.camera]
        check(self.wine(*argv) == 0, "regsvr32 %s failed" % ("" if register else "/u"))

    def start_program(self, cwd, camera_fault=None):
        """camera_fault: a fault mode for the virtual camera, or None."""
        os.makedirs(cwd, exist_ok=True)
        env = dict(self.env)
        if camera_fault:
            env["LUMIDART_VIRTUALCAM_FAULT"] = camera_fault
        return subprocess.Popen(["wine", self.args.program], env=env, cwd=cwd,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def start_driver(self):
        self.driver = subprocess.Popen(["wine", self.args.driver], env=self.env, cwd=self.work,
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL, text=True, bufsize=1)

    def do(self, command):
        self.driver.stdin.write(command + "\n")
        self.driver.stdin.flush()
        answer = self.driver.stdout.readline().strip()
        check(answer and not answer.startswith("error"), "driver: %r -> %r" % (command, answer))
        return answer

    # --- The console window -----------------------------------------------

    def window(self):
        """The console's geometry and state, or None."""
        answer = self.do("window")
        if answer == "none":
            return None
        f = answer.split()
        return {
            "rect": tuple(int(v) for v in f[1:5]),
            "client": (int(f[6]), int(f[7])),
            "origin": (int(f[9]), int(f[10])),
            "iconic": f[12] == "1",
            "visible": f[14] == "1",
            "foreground": f[16] == "1",
            "screen": (int(f[18]), int(f[19])),
            "title": answer.split(" title ", 1)[1],
        }

    def wait_window(self, what, predicate, timeout=20.0):
        return wait_for(what, lambda: (lambda w: w if w and predicate(w) else None)(self.window()), timeout)

    def wait_exit(self, process, timeout=30.0):
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            raise Failure("lumidart.exe did not end within %.0f s" % timeout)

    def dialogs(self):
        return int(self.do("dialogs").split()[1])

    def cursor(self):
        f = self.do("cursor").split()
        return int(f[1]), int(f[2])

    # --- The virtual camera -----------------------------------------------

    def steer(self, **values):
        """Rewrites the camera's control file; later frames show it."""
        settings = {"spot_x": 200, "spot_y": 300, "spot_radius": 4, "spot_red": 250}
        settings.update(values)
        text = "".join("%s %d\n" % item for item in settings.items())
        # NOTE: the camera notices a change by size or modification time,
        # and under Wine the time it sees has whole seconds: a comment that
        # grows with every write changes the size.
        self.steers += 1
        text += "#" * self.steers + "\n"
        temporary = self.control + ".tmp"
        with open(temporary, "w") as out:
            out.write(text)
        os.replace(temporary, self.control)

    # --- Screenshots --------------------------------------------------------

    def screenshot(self, label):
        """The whole screen as a PNG kept for people and a PPM to read."""
        self.shots += 1
        base = os.path.join(self.work, "%02d-%s" % (self.shots, label))
        subprocess.run(["import", "-display", self.env["DISPLAY"], "-window", "root", base + ".png"],
                       check=True, timeout=30)
        raw = subprocess.run(["convert", base + ".png", "ppm:-"], check=True, stdout=subprocess.PIPE,
                             timeout=30).stdout
        return Picture(raw)


class Picture:
    def __init__(self, ppm):
        fields = []
        position = 0
        while len(fields) < 4:
            while ppm[position:position + 1].isspace():
                position += 1
            end = position
            while not ppm[end:end + 1].isspace():
                end += 1
            fields.append(ppm[position:end])
            position = end
        check(fields[0] == b"P6" and fields[3] == b"255", "unexpected screenshot format")
        self.width, self.height = int(fields[1]), int(fields[2])
        self.data = ppm[position + 1:]

    def rgb(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])


def near(colour, wanted, tolerance=24):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, wanted))


def client_pixel(shot, win, x, y):
    return shot.rgb(win["origin"][0] + x, win["origin"][1] + y)


def camera_like(colour):
    """The virtual camera's screen or surround: dim grey-blue, no overlay."""
    r, g, b = colour
    return max(r, g, b) < 140 and not near(colour, BLACK, 8) and b >= r


def read_corners(path):
    with open(path, "rb") as f:
        data = f.read()
    check(len(data) == 16, "Lumidart.set holds %d bytes, not 16" % len(data))
    return list(struct.unpack("<8H", data))


def write_corners(path, corners):
    with open(path, "wb") as f:
        f.write(struct.pack("<8H", *corners))


# --- Expected cursor positions, computed independently ---------------------

def screen_point(mapping, spot_x, spot_y, width, height):
    sx, sy = mapping(spot_x, spot_y)
    # Away from whole pixels, so that rounding in either computation
    # cannot move the result across one.
    for value in (sx, sy):
        check(abs(value - round(value)) > 1e-3, "test position too close to a pixel edge: %r" % value)
    return int(min(max(sx, 0), width)), int(min(max(sy, 0), height))


# --- Scenarios ---------------------------------------------------------------

def scenario_prefix(args):
    shutil.rmtree(args.prefix, ignore_errors=True)
    os.makedirs(args.prefix)
    with Session(args, "prefix") as s:
        check(s.wine("wineboot", "--init", timeout=240) == 0, "wineboot --init failed")
        s.register_camera()


def start_console(s, cwd):
    """Starts the program, waits for its window and for the camera picture
    (the crosshair is drawn only on frames)."""
    program = s.start_program(cwd)
    if s.driver is None:
        s.start_driver()
    s.do("move 2 2")
    win = s.wait_window("the console window", lambda w: w["visible"] and not w["iconic"])

    def picture_shown():
        shot = s.screenshot("waiting")
        return shot if near(client_pixel(shot, win, 320, 100), CYAN) else None
    wait_for("the camera picture", picture_shown, timeout=30, interval=0.5)
    # NOTE: in a freshly made prefix Wine does not always hand the new window
    # the focus at once; the keys below need it, as a user's would.
    s.do("activate")
    win = s.wait_window("the console in front", lambda w: w["foreground"])
    return program, win


def scenario_console(args):
    """Start, the picture, the threshold view and a corner click."""
    with Session(args, "console") as s:
        s.register_camera()
        cwd = os.path.join(s.work, "run")
        program, win = start_console(s, cwd)

        check(win["title"].startswith(TITLE_PREFIX), "title %r" % win["title"])
        check(win["client"] == (640, 480), "client area %r" % (win["client"],))
        left, top, right, bottom = win["rect"]
        width, height = win["screen"]
        check((left, top) == ((width - 640) // 2, (height - 480) // 2), "window not centred: %r" % (win["rect"],))

        shot = s.screenshot("preview")
        at = lambda x, y: client_pixel(shot, win, x, y)
        # Crosshair, the default quad's outline, the camera picture and the
        # spot, which the camera puts at frame (200, 300): picture (200, 179).
        for x, y in ((320, 20), (320, 460), (20, 240), (620, 240)):
            check(near(at(x, y), CYAN), "no crosshair at %d,%d: %r" % (x, y, at(x, y)))
        for x, y in ((300, 439), (300, 39), (40, 300), (600, 100)):
            check(near(at(x, y), BLUE), "no outline at %d,%d: %r" % (x, y, at(x, y)))
        for x, y in ((100, 100), (500, 400), (10, 10)):
            check(camera_like(at(x, y)), "no camera picture at %d,%d: %r" % (x, y, at(x, y)))
        check(at(200, 179)[0] > 200 and at(200, 179)[1] < 200, "no spot: %r" % (at(200, 179),))

        # The magnifier: with the cursor at (324, 100) the crosshair column
        # 320 is drawn twice as wide at columns 316 and 317 and column 320
        # shows the picture from column 322.
        s.do("move %d %d" % (win["origin"][0] + 324, win["origin"][1] + 100))

        def magnified():
            shot = s.screenshot("magnifier")
            at = lambda x, y: client_pixel(shot, win, x, y)
            return near(at(316, 100), CYAN) and near(at(317, 100), CYAN) and not near(at(320, 100), CYAN)
        wait_for("the magnifier", magnified, timeout=10, interval=0.3)
        s.do("move 2 2")

        # Space: the threshold view inside the search box (columns 40..600,
        # picture lines 39..439), the camera outside it.
        s.do("key space")

        def threshold_view():
            shot = s.screenshot("threshold")
            at = lambda x, y: client_pixel(shot, win, x, y)
            return (near(at(100, 100), BLACK, 4) and near(at(300, 300), BLACK, 4) and near(at(200, 179), GREEN, 4)
                    and camera_like(at(10, 10)) and near(at(300, 439), BLUE))
        wait_for("the threshold view", threshold_view, timeout=10, interval=0.3)

        # A held left button shows its square; in this view the press sets
        # no corner (the press falls in the lower right quarter).
        s.do("move %d %d" % (win["origin"][0] + 500, win["origin"][1] + 400))
        s.do("button down")

        def left_square():
            shot = s.screenshot("button")
            at = lambda x, y: client_pixel(shot, win, x, y)
            return (near(at(165, 265), WHITE, 4) and near(at(150, 265), BLUE) and near(at(181, 265), BLUE)
                    and not near(at(315, 265), WHITE, 4))
        wait_for("the left button's square", left_square, timeout=10, interval=0.3)
        s.do("button up")

        s.do("key space")

        def preview_again():
            shot = s.screenshot("preview-again")
            at = lambda x, y: client_pixel(shot, win, x, y)
            return camera_like(at(100, 100)) and near(at(320, 100), CYAN)
        wait_for("Preview after the second Space", preview_again, timeout=10, interval=0.3)

        # A click at client (60, 420), the lower left quarter, makes P0
        # (60, 60): the outline's lower left corner moves to line 419.
        s.do("click %d %d" % (win["origin"][0] + 60, win["origin"][1] + 420))
        s.do("move 2 2")

        def corner_moved():
            shot = s.screenshot("corner")
            at = lambda x, y: client_pixel(shot, win, x, y)
            # The lower side now runs from (60, 419) to (600, 439): line 428
            # at column 300.
            lower_side = any(near(at(300, y), BLUE) for y in range(426, 431))
            return near(at(60, 419), BLUE) and camera_like(at(40, 439)) and lower_side
        wait_for("the outline through the new corner", corner_moved, timeout=10, interval=0.3)

        s.do("close")
        check(s.wait_exit(program) == 0, "lumidart.exe exit code not 0")
        corners = read_corners(os.path.join(cwd, "Lumidart.set"))
        check(corners == [60, 60, 600, 40, 40, 440, 600, 440], "corners saved: %r" % corners)


def scenario_tracking(args):
    """Esc starts tracking: the cursor follows the spot through the
    projective mapping and the smoothing; F12 brings the console back."""
    corners = [100, 80, 540, 60, 80, 420, 560, 400]
    with Session(args, "tracking") as s:
        s.register_camera()
        cwd = os.path.join(s.work, "run")
        os.makedirs(cwd)
        write_corners(os.path.join(cwd, "Lumidart.set"), corners)
        s.steer(spot_radius=0)
        program, win = start_console(s, cwd)
        width, height = win["screen"]
        mapping = homography(list(zip(corners[0::2], corners[1::2])), width, height)

        s.do("key esc")
        s.wait_window("the console to minimise", lambda w: w["iconic"])
        s.screenshot("tracking")

        # Tracking starts from the screen centre. Each new spot position is
        # far from the last: the cursor jumps straight to the mapped point.
        previous = (width // 2, height // 2)
        for spot in ((320, 240), (150, 120), (500, 380), (430, 110)):
            target = screen_point(mapping, spot[0], spot[1], width, height)
            expected = tuple(settle(p, t) for p, t in zip(previous, target))
            s.steer(spot_x=spot[0], spot_y=spot[1])
            try:
                wait_for("the cursor at %r for spot %r" % (expected, spot),
                         lambda: all(abs(c - e) <= 1 for c, e in zip(s.cursor(), expected)), timeout=10)
            except Failure as failure:
                raise Failure("%s; it is at %r" % (failure, s.cursor()))
            previous = expected

        # A small step to the right: the blend approaches from the left and
        # rests short of the mapped point.
        spot = (433, 110)
        target = screen_point(mapping, spot[0], spot[1], width, height)
        check(all(abs(t - p) <= 8 for p, t in zip(previous, target)), "step not small: %r -> %r" % (previous, target))
        expected = tuple(settle(p, t) for p, t in zip(previous, target))
        check(any(abs(e - t) > 1 for e, t in zip(expected, target)), "the test step does not exercise the smoothing")
        s.steer(spot_x=spot[0], spot_y=spot[1])
        wait_for("the smoothed cursor at %r" % (expected,),
                 lambda: all(abs(c - e) <= 1 for c, e in zip(s.cursor(), expected)), timeout=10)
        time.sleep(0.5)
        check(all(abs(c - e) <= 1 for c, e in zip(s.cursor(), expected)), "the cursor did not rest at %r" % (expected,))

        # No spot: the cursor stays.
        resting = s.cursor()
        s.steer(spot_radius=0)
        time.sleep(1.0)
        check(s.cursor() == resting, "the cursor moved without a spot")

        s.do("hold f12 600")
        win = s.wait_window("the console back after F12", lambda w: not w["iconic"] and w["visible"])

        def preview_back():
            shot = s.screenshot("after-f12")
            return near(client_pixel(shot, win, 320, 100), CYAN)
        wait_for("the preview after F12", preview_back, timeout=10, interval=0.3)

        s.do("close")
        check(s.wait_exit(program) == 0, "lumidart.exe exit code not 0")
        check(read_corners(os.path.join(cwd, "Lumidart.set")) == corners, "the corners changed")


def open_property_frame(s):
    """Tab until the frame shows: under Wine the previous frame's call
    returns only about 2 s after that frame has closed, and until then Tab
    rightly opens nothing."""
    for _ in range(5):
        s.do("key tab")
        try:
            wait_for("the property frame", lambda: s.dialogs() == 1, timeout=3)
            return
        except Failure:
            pass
    raise Failure("Tab opened no property frame")


def scenario_property_frame(args):
    """Tab opens the camera's property frame once; minimising presses its
    OK; closing the console with it open ends the program."""
    with Session(args, "property_frame") as s:
        s.register_camera()
        cwd = os.path.join(s.work, "run")
        program, win = start_console(s, cwd)

        open_property_frame(s)
        time.sleep(1.0)
        s.screenshot("property-frame")

        s.do("activate")
        s.wait_window("the console in front", lambda w: w["foreground"])
        s.do("key tab")
        time.sleep(2.0)
        check(s.dialogs() == 1, "a second Tab opened another frame")

        s.do("key esc")
        s.wait_window("the console to minimise", lambda w: w["iconic"])
        wait_for("the frame to close through its OK", lambda: s.dialogs() == 0, timeout=15)
        s.screenshot("confirmed")

        s.do("hold f12 600")
        s.wait_window("the console back after F12", lambda w: not w["iconic"] and w["foreground"])
        open_property_frame(s)
        with Fault("close with the property frame open") as fault:
            s.do("close")
            check(s.wait_exit(program) == 0, "lumidart.exe exit code not 0")
            check(s.dialogs() == 0, "the frame outlived the program")
            fault.note("exit 0, frame closed")
            check_settings(cwd, fault, struct.pack("<8H", *DEFAULT_CORNERS), "the defaults saved (no file before)")


def scenario_instances(args):
    """A second start brings the first back; without a camera the program
    ends at once and writes nothing."""
    with Session(args, "instances") as s:
        s.register_camera()
        cwd = os.path.join(s.work, "first")
        program, win = start_console(s, cwd)
        s.do("key esc")
        s.wait_window("the console to minimise", lambda w: w["iconic"])

        with Fault("second start while tracking") as fault:
            second_dir = os.path.join(s.work, "second")
            second = s.start_program(second_dir)
            check(s.wait_exit(second) == 0, "the second copy's exit code is not 0")
            s.wait_window("the first console restored", lambda w: not w["iconic"] and w["visible"])
            check(not os.path.exists(os.path.join(second_dir, "Lumidart.set")), "the second copy wrote settings")
            check(program.poll() is None, "the first copy ended")
            fault.note("second copy exit 0 and wrote nothing")

            def preview_back():
                shot = s.screenshot("restored")
                return near(client_pixel(shot, win, 320, 100), CYAN)
            wait_for("the first copy's preview", preview_back, timeout=10, interval=0.3)
            fault.note("first copy back in Preview")
            s.do("close")
            check(s.wait_exit(program) == 0, "lumidart.exe exit code not 0")
            fault.note("first copy exit 0")
            check_settings(cwd, fault, struct.pack("<8H", *DEFAULT_CORNERS), "the defaults saved (no file before)")

        s.register_camera(False)
        try:
            lonely_dir = os.path.join(s.work, "no-camera")
            started = time.monotonic()
            lonely = s.start_program(lonely_dir)
            check(s.wait_exit(lonely, timeout=20) == 0, "exit code without a camera is not 0")
            check(time.monotonic() - started < 15, "the program took too long to give up")
            check(os.listdir(lonely_dir) == [], "files written without a camera: %r" % os.listdir(lonely_dir))
        finally:
            s.register_camera()


# --- Faults --------------------------------------------------------------------
#
# Each fault prints one line, "ok    <fault>: <outcome>" or
# "FAIL  <fault>: <why>", for the reliability table.

# The operator's corners, unlike the defaults wherever the outline is checked.
OPERATOR_CORNERS = [60, 60, 580, 50, 50, 420, 590, 430]
OPERATOR_BYTES = struct.pack("<8H", *OPERATOR_CORNERS)


class Fault:
    def __init__(self, name):
        self.name = name
        self.outcome = []

    def note(self, text):
        self.outcome.append(text)

    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        if kind is None:
            print("ok    %s: %s" % (self.name, ", ".join(self.outcome)), flush=True)
        else:
            print("FAIL  %s: %s" % (self.name, value), flush=True)
        return False


def file_bytes(path):
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def prepare_run(s, name, contents=OPERATOR_BYTES):
    """A fresh working directory holding the operator's settings file."""
    cwd = os.path.join(s.work, name)
    os.makedirs(cwd)
    if contents is not None:
        with open(os.path.join(cwd, "Lumidart.set"), "wb") as f:
            f.write(contents)
    return cwd


def close_and_check(s, program, cwd, fault, expected, how="close"):
    """Closes the console, then checks the exit code and that the settings
    file holds exactly the expected bytes and no temporary file is left."""
    s.do(how)
    code = s.wait_exit(program)
    check(code == 0, "exit code %d" % code)
    fault.note("exit 0")
    check_settings(cwd, fault, expected)


def check_settings(cwd, fault, expected, what=None):
    actual = file_bytes(os.path.join(cwd, "Lumidart.set"))
    check(actual == expected, "Lumidart.set holds %r, not %r" % (actual, expected))
    check(not os.path.exists(os.path.join(cwd, "Lumidart.set.tmp")), "a temporary file was left behind")
    if what is None:
        what = ("no settings file written" if expected is None else
                "calibration intact" if expected == OPERATOR_BYTES else
                "calibration = corners set in this run")
    fault.note(what)


def outline_at(shot, win, corners):
    """True when the quad outline passes a quarter of the way along its
    lower and its left side (picture line = 479 - row)."""
    at = lambda x, y: client_pixel(shot, win, x, y)
    points = []
    for a, b in ((0, 1), (0, 2)):
        x = corners[2 * a] + (corners[2 * b] - corners[2 * a]) / 4
        row = corners[2 * a + 1] + (corners[2 * b + 1] - corners[2 * a + 1]) / 4
        points.append((round(x), 479 - round(row)))
    return all(any(near(at(x + dx, y + dy), BLUE) for dx in (-1, 0, 1) for dy in (-1, 0, 1))
               for x, y in points)


def start_without_picture(s, cwd, camera_fault):
    """Starts the program with a faulty camera and waits for its window."""
    program = s.start_program(cwd, camera_fault)
    if s.driver is None:
        s.start_driver()
    s.do("move 2 2")
    s.wait_window("the console window", lambda w: w["visible"] and not w["iconic"])
    s.do("activate")
    win = s.wait_window("the console in front", lambda w: w["foreground"])
    return program, win


def no_picture(s, win, label):
    """True when no frame has been drawn: neither the camera picture nor
    the crosshair anywhere on the client area."""
    shot = s.screenshot(label)
    points = [(x, y) for x in (10, 100, 320, 500, 630) for y in (10, 100, 240, 400, 470)]
    return not any(camera_like(client_pixel(shot, win, x, y)) or near(client_pixel(shot, win, x, y), CYAN)
                   for x, y in points)


def scenario_faults_settings(args):
    """The settings file held open by another program, at start and at close."""
    with Session(args, "faults_settings") as s:
        s.register_camera()
        s.start_driver()
        defaults = struct.pack("<8H", *DEFAULT_CORNERS)

        with Fault("settings file held without sharing at start") as fault:
            cwd = prepare_run(s, "held-at-start")
            check(s.do("lock " + windows_path(os.path.join(cwd, "Lumidart.set"))) == "ok", "could not lock")
            program, win = start_console(s, cwd)
            shot = s.screenshot("held-at-start")
            check(outline_at(shot, win, DEFAULT_CORNERS) and not outline_at(shot, win, OPERATOR_CORNERS),
                  "the console does not show the default quad")
            fault.note("runs on the defaults")
            s.do("unlock")
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)

        with Fault("settings file held at start, a corner set in the run") as fault:
            cwd = prepare_run(s, "held-at-start-edited")
            check(s.do("lock " + windows_path(os.path.join(cwd, "Lumidart.set"))) == "ok", "could not lock")
            program, win = start_console(s, cwd)
            s.do("unlock")
            # Client (100, 400), the lower left quarter: P0 becomes (100, 80).
            s.do("click %d %d" % (win["origin"][0] + 100, win["origin"][1] + 400))
            s.do("move 2 2")
            edited = [100, 80] + DEFAULT_CORNERS[2:]
            wait_for("the outline through the new corner",
                     lambda: outline_at(s.screenshot("edited"), win, edited), timeout=10, interval=0.3)
            close_and_check(s, program, cwd, fault, struct.pack("<8H", *edited))
            check(file_bytes(os.path.join(cwd, "Lumidart.set")) != defaults, "the defaults were saved")

        with Fault("settings file held without sharing at close") as fault:
            cwd = prepare_run(s, "held-at-close")
            program, win = start_console(s, cwd)
            check(outline_at(s.screenshot("loaded"), win, OPERATOR_CORNERS), "the operator's quad was not loaded")
            # An edit, so that a save that got through would change the file.
            s.do("click %d %d" % (win["origin"][0] + 100, win["origin"][1] + 400))
            s.do("move 2 2")
            wait_for("the outline through the new corner",
                     lambda: outline_at(s.screenshot("edited"), win, [100, 80] + OPERATOR_CORNERS[2:]),
                     timeout=10, interval=0.3)
            check(s.do("lock " + windows_path(os.path.join(cwd, "Lumidart.set"))) == "ok", "could not lock")
            s.do("close")
            code = s.wait_exit(program)
            s.do("unlock")
            check(code == 0, "exit code %d" % code)
            fault.note("edited, exit 0")
            check_settings(cwd, fault, OPERATOR_BYTES)


def scenario_faults_capture(args):
    """Cameras that are missing, cannot be connected, send short samples or
    stop sending."""
    with Session(args, "faults_capture") as s:
        s.start_driver()

        with Fault("no source (camera not registered)") as fault:
            s.register_camera(False)
            try:
                cwd = prepare_run(s, "no-source")
                started = time.monotonic()
                code = s.wait_exit(s.start_program(cwd), timeout=20)
                check(code == 0, "exit code %d" % code)
                fault.note("ends by itself in %.1f s with exit 0" % (time.monotonic() - started))
                check(os.listdir(cwd) == ["Lumidart.set"], "files written: %r" % os.listdir(cwd))
                check_settings(cwd, fault, OPERATOR_BYTES)
            finally:
                s.register_camera()

        with Fault("first pin cannot be connected") as fault:
            cwd = prepare_run(s, "no-connect")
            program, win = start_without_picture(s, cwd, "no-connect")
            time.sleep(2.0)
            check(no_picture(s, win, "no-connect"), "a picture was drawn")
            fault.note("window up, 0 frames shown")
            s.do("key space")
            s.do("key space")
            time.sleep(0.5)
            check(program.poll() is None and no_picture(s, win, "no-connect-space"), "Space changed the picture")
            open_property_frame(s)
            s.do("activate")
            s.wait_window("the console in front", lambda w: w["foreground"])
            s.do("key esc")
            s.wait_window("the console to minimise", lambda w: w["iconic"])
            wait_for("the frame to close through its OK", lambda: s.dialogs() == 0, timeout=15)
            fault.note("Tab opens the property frame, Esc confirms it and minimises")
            # F12 is watched by the frame passes only: with no frames it does
            # nothing, and a second start brings the console back instead.
            s.do("hold f12 600")
            time.sleep(1.0)
            check(s.window()["iconic"] and program.poll() is None, "F12 without frames changed the window")
            second = s.start_program(os.path.join(s.work, "no-connect-second"))
            check(s.wait_exit(second) == 0, "the second copy's exit code is not 0")
            s.wait_window("the console restored", lambda w: not w["iconic"] and w["visible"])
            fault.note("F12 without frames leaves it minimised, a second start restores it")
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)

        with Fault("short samples (one row short)") as fault:
            cwd = prepare_run(s, "short-samples")
            program, win = start_without_picture(s, cwd, "short-samples")
            time.sleep(3.0)
            check(no_picture(s, win, "short-samples"), "a short sample was drawn")
            check(program.poll() is None, "the program ended")
            fault.note("running, 0 frames shown")
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)

        with Fault("source stops after 30 frames (end of stream)") as fault:
            cwd = prepare_run(s, "stop-after")
            program = s.start_program(cwd, "stop-after=30")
            win = s.wait_window("the console window", lambda w: w["visible"] and not w["iconic"])
            wait_for("the camera picture", lambda: near(client_pixel(s.screenshot("stop-after"), win, 320, 100), CYAN),
                     timeout=30, interval=0.3)
            time.sleep(3.0)
            check(program.poll() is None, "the program ended with the stream")
            s.do("activate")
            s.do("key space")
            s.do("key esc")
            s.wait_window("the console to minimise", lambda w: w["iconic"])
            fault.note("last picture kept, keys handled, running")
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)


def scenario_faults_lifecycle(args):
    """Closing in every Mode, twice, with the property frame open and after
    a failed creation; F12 held and Esc repeated."""
    with Session(args, "faults_lifecycle") as s:
        s.register_camera()
        s.start_driver()

        with Fault("close in Threshold view") as fault:
            cwd = prepare_run(s, "close-threshold")
            program, win = start_console(s, cwd)
            s.do("key space")
            wait_for("the threshold view", lambda: near(client_pixel(s.screenshot("threshold"), win, 300, 300), BLACK, 4),
                     timeout=10, interval=0.3)
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)

        with Fault("close while tracking (minimised)") as fault:
            cwd = prepare_run(s, "close-tracking")
            program, win = start_console(s, cwd)
            s.do("key esc")
            s.wait_window("the console to minimise", lambda w: w["iconic"])
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)

        with Fault("two close requests back to back (Preview)") as fault:
            cwd = prepare_run(s, "close-twice")
            program, win = start_console(s, cwd)
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES, how="post-close 2")

        with Fault("close requests during a failed creation (no source)") as fault:
            s.register_camera(False)
            try:
                cwd = prepare_run(s, "close-failed", contents=None)
                program = s.start_program(cwd)
                answer = s.do("close-while-alive 15000").split()
                code = s.wait_exit(program, timeout=20)
                check(code == 0, "exit code %d" % code)
                fault.note("%s close requests posted while its window lived" % answer[1])
                fault.note("exit 0")
                check(os.listdir(cwd) == [], "files written: %r" % os.listdir(cwd))
                check_settings(cwd, fault, None)
            finally:
                s.register_camera()

        with Fault("two close requests with the property frame open") as fault:
            cwd = prepare_run(s, "close-twice-frame")
            program, win = start_console(s, cwd)
            open_property_frame(s)
            # The second arrives while the quit waits for the frame's call.
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES, how="post-close 2")
            check(s.dialogs() == 0, "the frame outlived the program")

        held_and_repeated_keys(s)


def held_and_repeated_keys(s):
    """F12 held for two seconds; Esc pressed twenty times in a row."""
    cwd = prepare_run(s, "keys")
    program, win = start_console(s, cwd)
    width, height = win["screen"]
    mapping = homography(list(zip(OPERATOR_CORNERS[0::2], OPERATOR_CORNERS[1::2])), width, height)

    def tracking_to(spot):
        target = screen_point(mapping, spot[0], spot[1], width, height)
        s.steer(spot_x=spot[0], spot_y=spot[1])
        wait_for("the cursor at %r" % (target,),
                 lambda: all(abs(c - t) <= 1 for c, t in zip(s.cursor(), target)), timeout=10)

    with Fault("F12 held for 2 s while tracking") as fault:
        s.do("key esc")
        s.wait_window("the console to minimise", lambda w: w["iconic"])
        tracking_to((150, 120))
        # Watched for 3 s beyond the release, so a late restore is seen too.
        f = s.do("hold-watch f12 2000 3000").split()
        restores, minimises, iconic, first = int(f[1]), int(f[3]), f[5] == "1", int(f[7])
        check(restores == 1 and minimises == 0 and not iconic,
              "%d restores, %d minimises, iconic %s" % (restores, minimises, iconic))
        check(first < 2000, "restored only %d ms after the press, once F12 was up" % first)
        win = s.wait_window("the console in front", lambda w: not w["iconic"] and w["visible"])

        def preview():
            shot = s.screenshot("after-f12")
            return near(client_pixel(shot, win, 320, 100), CYAN) and camera_like(client_pixel(shot, win, 100, 100))
        wait_for("Preview after F12", preview, timeout=10, interval=0.3)
        time.sleep(1.0)
        check(preview() and not s.window()["iconic"], "it left Preview")
        fault.note("restored once (%d ms after the press), stays in Preview" % first)

    with Fault("Esc pressed 20 times, then F12") as fault:
        s.do("activate")
        s.wait_window("the console in front", lambda w: w["foreground"])
        for _ in range(20):
            s.do("key esc")
        s.wait_window("the console to minimise", lambda w: w["iconic"])
        time.sleep(1.0)
        check(s.window()["iconic"] and program.poll() is None, "not minimised after the presses")
        tracking_to((450, 150))
        fault.note("minimised and tracking")
        s.do("hold f12 600")
        win = s.wait_window("the console back after F12", lambda w: not w["iconic"] and w["visible"])
        wait_for("Preview after F12", lambda: near(client_pixel(s.screenshot("after-esc"), win, 320, 100), CYAN),
                 timeout=10, interval=0.3)
        fault.note("F12 brings Preview back")
        close_and_check(s, program, cwd, fault, OPERATOR_BYTES)


def scenario_webcam_modes(args):
    """The virtual camera listing a webcam's modes: the fastest 640 x 480 is
    the one that runs, the picture shows and tracking lands where the
    mapping says; a camera with no 640 x 480 mode gives no picture."""
    corners = [100, 80, 540, 60, 80, 420, 560, 400]
    for modes in ("webcam-1080p", "hd-first"):
        with Session(args, "modes-" + modes) as s:
            s.register_camera()
            stats = os.path.join(s.work, "stats.txt")
            s.env.update({"LUMIDART_VIRTUALCAM_MODES": modes, "LUMIDART_VIRTUALCAM_STATS": windows_path(stats)})
            cwd = os.path.join(s.work, "run")
            os.makedirs(cwd)
            write_corners(os.path.join(cwd, "Lumidart.set"), corners)
            s.steer(spot_radius=0)
            program, win = start_console(s, cwd)
            with open(stats) as f:
                running = f.read().splitlines()
            check(running[-1:] == ["mode RGB32 640x480 30"], "%s: the camera runs %r" % (modes, running))
            width, height = win["screen"]
            mapping = homography(list(zip(corners[0::2], corners[1::2])), width, height)
            s.do("key esc")
            s.wait_window("the console to minimise", lambda w: w["iconic"])
            previous = (width // 2, height // 2)
            for spot in ((150, 120), (500, 380)):
                target = screen_point(mapping, spot[0], spot[1], width, height)
                expected = tuple(settle(p, t) for p, t in zip(previous, target))
                s.steer(spot_x=spot[0], spot_y=spot[1])
                try:
                    wait_for("%s: the cursor at %r for spot %r" % (modes, expected, spot),
                             lambda: all(abs(c - e) <= 1 for c, e in zip(s.cursor(), expected)), timeout=10)
                except Failure as failure:
                    raise Failure("%s; it is at %r" % (failure, s.cursor()))
                previous = expected
            s.do("hold f12 600")
            s.wait_window("the console back after F12", lambda w: not w["iconic"] and w["visible"])
            s.do("close")
            check(s.wait_exit(program) == 0, "%s: exit code not 0" % modes)
    with Session(args, "modes-wide") as s:
        s.register_camera()
        s.env["LUMIDART_VIRTUALCAM_MODES"] = "wide"
        cwd = os.path.join(s.work, "run")
        program, win = start_without_picture(s, cwd, None)
        time.sleep(2.0)
        check(no_picture(s, win, "wide"), "a picture from a camera without 640 x 480")
        s.do("close")
        check(s.wait_exit(program) == 0, "wide: exit code not 0")


SCENARIOS = {
    "prefix": scenario_prefix,
    "console": scenario_console,
    "tracking": scenario_tracking,
    "property_frame": scenario_property_frame,
    "instances": scenario_instances,
    "faults_settings": scenario_faults_settings,
    "faults_capture": scenario_faults_capture,
    "faults_lifecycle": scenario_faults_lifecycle,
    "webcam_modes": scenario_webcam_modes,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("program", "camera", "driver", "prefix", "work"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    args = parser.parse_args()
    for option in ("program", "camera", "driver", "prefix", "work"):
        setattr(args, option, os.path.abspath(getattr(args, option)))
    started = time.monotonic()
    try:
        SCENARIOS[args.scenario](args)
    except Failure as failure:
        print("FAILED %s: %s (screenshots in %s)" % (args.scenario, failure, args.work))
        return 1
    print("passed %s in %.1f s" % (args.scenario, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
