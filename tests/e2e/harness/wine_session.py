"""lumidart.exe under Wine: a session (an X display, private unless one is
given, and the Wine environment on it), the Windows-side helper
(win32_e2e_driver.exe) that injects keys and clicks the way a user would
and reports windows and the cursor, screenshots of every checked moment,
and the driver that runs one named scenario."""

import argparse
import os
import shutil
import subprocess
import time

from .checks import PATIENCE, Failure, check, wait_for
from .console import BLACK, CYAN, SETTINGS_FILE, quad_bytes, rgb
from .display import start_xvfb, stop
from .expected_cursor import homography, resting_place, screen_point


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Session:
    """One X display (a private Xvfb unless one is given) and the Wine
    environment that uses it, built on this process's environment."""

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
        # Without Wine's debugger a crash ends the process instead of
        # holding it for ever.
        self.env.update({
            "WINEPREFIX": args.prefix,
            "LUMIDART_WINEPREFIX": args.prefix,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winedbg.exe=d",
            "LUMIDART_VIRTUALCAM_CONTROL": windows_path(self.control),
        })
        self.display = display
        self.steer()

    def __enter__(self):
        if self.display:
            self.env["DISPLAY"] = self.display
            return self
        self.xvfb, self.env["DISPLAY"] = start_xvfb()
        return self

    def __exit__(self, *exc):
        if self.driver is not None and self.driver.poll() is None:
            self.driver.kill()
        # Every Wine process of this prefix ends before the display goes.
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60 * PATIENCE)
        if self.xvfb is not None:
            stop(self.xvfb, 10)
        return False

    # --- Wine -------------------------------------------------------------

    def wine(self, *argv, cwd=None, timeout=120):
        return subprocess.run(["wine"] + list(argv), env=self.env, cwd=cwd or self.work,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout * PATIENCE).returncode

    def register_camera(self, register=True):
        argv = ["regsvr32", "/s"] + ([] if register else ["/u"]) + [self.args.camera]
        check(self.wine(*argv) == 0, "regsvr32 %s failed" % ("" if register else "/u"))

    def start_program(self, cwd, camera_fault=None, args=()):
        """camera_fault: a fault mode for the virtual camera, or None."""
        os.makedirs(cwd, exist_ok=True)
        env = dict(self.env)
        if camera_fault:
            env["LUMIDART_VIRTUALCAM_FAULT"] = camera_fault
        return subprocess.Popen(["wine", self.args.program] + list(args), env=env, cwd=cwd,
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
            return process.wait(timeout=timeout * PATIENCE)
        except subprocess.TimeoutExpired:
            process.kill()
            raise Failure("lumidart.exe did not end within %.0f s" % (timeout * PATIENCE))

    def close(self, program, what="lumidart.exe"):
        """The caption's close button; the program must end with exit code 0."""
        self.do("close")
        check(self.wait_exit(program) == 0, "%s exit code not 0" % what)

    def in_front(self):
        self.do("activate")
        return self.wait_window("the console in front", lambda w: w["foreground"])

    def minimise(self):
        self.do("key esc")
        self.wait_window("the console to minimise", lambda w: w["iconic"])

    def restore_with_f12(self):
        """F12 held until the console is back: the program polls the key, so
        a slow pass must still find it down."""
        answer = self.do("hold-until-restored f12 %d" % (20000 * PATIENCE))
        if not answer.startswith("seen"):
            self.screenshot("f12-unseen")
            raise Failure("F12 held did not bring the console back: %s" % answer)
        return self.wait_window("the console back after F12", shown)

    def dialogs(self):
        return int(self.do("dialogs").split()[1])

    def cursor(self):
        f = self.do("cursor").split()
        return int(f[1]), int(f[2])

    def wait_cursor(self, what, expected):
        """The cursor within a pixel of expected."""
        try:
            wait_for(what, lambda: near_point(self.cursor(), expected), timeout=10)
        except Failure as failure:
            raise Failure("%s; it is at %r" % (failure, self.cursor())) from None

    # --- The virtual camera -----------------------------------------------

    def steer(self, **values):
        """Rewrites the camera's control file; later frames show it."""
        settings = {"spot_x": 200, "spot_y": 300, "spot_radius": 4, "spot_red": 250}
        settings.update(values)
        text = "".join("%s %s\n" % item for item in settings.items())
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

    def client(self, win, label):
        """A screenshot as a function of client coordinates."""
        shot = self.screenshot(label)
        return lambda x, y: client_pixel(shot, win, x, y)

    def wait_picture(self, what, win, label, holds, timeout=10):
        """Screenshots until holds(at) is true, at(x, y) giving the pixel at
        client (x, y)."""
        return wait_for(what, lambda: holds(self.client(win, label)), timeout=timeout, interval=0.3)


def shown(w):
    """The console shown, restored and in place: a window just restored may
    still stand where minimised ones are put, off the screen."""
    return w["visible"] and not w["iconic"] and min(w["origin"]) >= 0


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
        check(0 <= x < self.width and 0 <= y < self.height, "pixel (%d, %d) is off the screen" % (x, y))
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])


def near(colour, wanted, tolerance=24):
    """An (r, g, b) colour within tolerance of wanted (0xRRGGBB) on each channel."""
    return all(abs(a - b) <= tolerance for a, b in zip(colour, rgb(wanted)))


def near_point(position, expected):
    return all(abs(c - e) <= 1 for c, e in zip(position, expected))


def client_pixel(shot, win, x, y):
    return shot.rgb(win["origin"][0] + x, win["origin"][1] + y)


def camera_like(colour):
    """The virtual camera's screen or surround: dim grey-blue, no overlay."""
    r, g, b = colour
    return max(r, g, b) < 140 and not near(colour, BLACK, 8) and b >= r


# The calibration of the tracking scenarios.
TRACKING_QUAD = [(100, 80), (540, 60), (80, 420), (560, 400)]


def follow_spots(s, quad, spots, size, what="the cursor"):
    """Tracking from the screen centre, the spot moved to each of spots in
    turn, far from the last: the cursor must rest where the model says.
    Returns the last resting place."""
    previous = (size[0] // 2, size[1] // 2)
    for spot in spots:
        expected = resting_place(previous, exact_screen_point(quad, spot, size))
        s.steer(spot_x=spot[0], spot_y=spot[1])
        s.wait_cursor("%s at %r for spot %r" % (what, expected, spot), expected)
        previous = expected
    return previous


def exact_screen_point(quad, spot, size):
    """Where a spot lands on the screen, checked to lie away from whole
    pixels, so that rounding in either computation cannot move the result
    across one."""
    for value in homography(quad, *size)(*spot):
        check(abs(value - round(value)) > 1e-3, "test position too close to a pixel edge: %r" % value)
    return screen_point(quad, spot, size)


# --- Starting the console ------------------------------------------------------

def start_console(s, cwd, args=()):
    """Starts the program, waits for its window and for the camera picture
    (the crosshair is drawn only on frames)."""
    program = s.start_program(cwd, args=args)
    if s.driver is None:
        s.start_driver()
    s.do("move 2 2")
    win = s.wait_window("the console window", shown)
    wait_for("the camera picture", lambda: near(s.client(win, "waiting")(320, 100), CYAN), timeout=30, interval=0.5)
    # NOTE: in a freshly made prefix Wine does not always hand the new window
    # the focus at once; the keys below need it, as a user's would.
    return program, s.in_front()


def start_without_picture(s, cwd, camera_fault):
    """Starts the program with a faulty camera and waits for its window."""
    program = s.start_program(cwd, camera_fault)
    if s.driver is None:
        s.start_driver()
    s.do("move 2 2")
    s.wait_window("the console window", shown)
    return program, s.in_front()


def no_picture(s, win, label):
    """True when no frame has been drawn: neither the camera picture nor
    the crosshair anywhere on the client area."""
    at = s.client(win, label)
    points = [(x, y) for x in (10, 100, 320, 500, 630) for y in (10, 100, 240, 400, 470)]
    return not any(camera_like(at(x, y)) or near(at(x, y), CYAN) for x, y in points)


def open_settings_dialog(s):
    """Tab until the frame shows: under Wine the previous frame's call
    returns only about 2 s after that frame has closed, and until then Tab
    rightly opens nothing."""
    for _ in range(5):
        s.do("key tab")
        try:
            wait_for("the settings dialog", lambda: s.dialogs() == 1, timeout=3)
            return
        except Failure:
            pass
    raise Failure("Tab opened no settings dialog")


# --- Outcomes, one line each ----------------------------------------------------
#
# Each fault prints one line, "ok    <fault>: <outcome>" or
# "FAIL  <fault>: <why>", for the reliability table.

# The operator's corners, unlike the defaults wherever the outline is checked.
OPERATOR_QUAD = [(60, 60), (580, 50), (50, 420), (590, 430)]
OPERATOR_BYTES = quad_bytes(OPERATOR_QUAD)


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
        with open(os.path.join(cwd, SETTINGS_FILE), "wb") as f:
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
    actual = file_bytes(os.path.join(cwd, SETTINGS_FILE))
    check(actual == expected, "%s holds %r, not %r" % (SETTINGS_FILE, actual, expected))
    check(not os.path.exists(os.path.join(cwd, SETTINGS_FILE + ".tmp")), "a temporary file was left behind")
    if what is None:
        what = ("no settings file written" if expected is None else
                "calibration intact" if expected == OPERATOR_BYTES else
                "calibration = corners set in this run")
    fault.note(what)


# --- The driver -------------------------------------------------------------------

def main(doc, scenarios):
    """Runs the scenario named on the command line; scenarios maps names
    to functions of the parsed arguments."""
    parser = argparse.ArgumentParser(description=doc)
    for option in ("program", "camera", "driver", "prefix", "work"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("scenario", choices=sorted(scenarios))
    args = parser.parse_args()
    for option in ("program", "camera", "driver", "prefix", "work"):
        setattr(args, option, os.path.abspath(getattr(args, option)))
    started = time.monotonic()
    try:
        scenarios[args.scenario](args)
    except Failure as failure:
        print("FAILED %s: %s (screenshots in %s)" % (args.scenario, failure, args.work))
        return 1
    print("passed %s in %.1f s" % (args.scenario, time.monotonic() - started))
    return 0
