"""The virtual camera that sees the real X screen, and the red window that
stands in for the laser on it: the perspectives the camera looks from, the
scene settings for each, and the pointer's distance from the red window at
a grid of places on the screen."""

import ctypes
import ctypes.util
import itertools
import math
import time

from .checks import PATIENCE, Failure, check, wait_for
from .expected_cursor import homography, pointer_pixel, solve_linear

SIZE = (1280, 800)
# Where the desktop's corners appear in the picture, frame coordinates
# (rows from the bottom): lower left, lower right, upper left, upper right.
PERSPECTIVES = {
    "mild": [(40.3, 69.4), (610.6, 49.7), (70.2, 419.5), (590.8, 434.1)],
    "strongly slanted": [(120.7, 140.2), (598.2, 20.9), (25.4, 455.3), (520.6, 330.4)],
}
# A camera turned away: the desktop lies wholly outside the picture.
ELSEWHERE = [(1040.0, 69.0), (1610.0, 49.0), (1070.0, 419.0), (1590.0, 434.0)]
RED_SIZE = 9
# A's goal from the key to the console at 30 frames a second; the checks
# allow twice that (and the harness's patience) for a loaded machine, the
# printed figure is the measure.
A_SECONDS = 3.0
A_LIMIT = 2 * A_SECONDS * PATIENCE
# The pointer's distance from the red window: the goal is 2 px everywhere;
# the checks demand better than exactly clicked corners do (worst and mean).
CLICKED_WORST, CLICKED_MEAN = 2.8, 1.9


def check_errors(what, errors):
    check(max(errors) < CLICKED_WORST and sum(errors) / len(errors) < CLICKED_MEAN,
          "%s: the pointer up to %.2f px (mean %.2f px) from the red window"
          % (what, max(errors), sum(errors) / len(errors)))


def grid(size=SIZE):
    """The red window's places: five columns and rows, the screen's edges
    among them."""
    return [(x * (size[0] - RED_SIZE) // 4, y * (size[1] - RED_SIZE) // 4) for y in range(5) for x in range(5)]


def scene(corners, noise=4):
    """Control-file settings: the desktop seen from corners, the drawn laser off."""
    settings = dict(desktop=1, noise=noise, spot_radius=0)
    for k, (x, y) in enumerate(corners):
        settings["desktop_x%d" % k] = x
        settings["desktop_y%d" % k] = y
    return settings


class Attributes(ctypes.Structure):
    """XSetWindowAttributes."""
    _fields_ = [(name, ctypes.c_ulong) for name in ("background_pixmap", "background_pixel", "border_pixmap",
                                                     "border_pixel")] + \
               [(name, ctypes.c_int) for name in ("bit_gravity", "win_gravity", "backing_store")] + \
               [("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("colormap", ctypes.c_ulong), ("cursor", ctypes.c_ulong)]


class RedWindow:
    """A 9 x 9 red override-redirect window on the screen, moved by its own
    connection."""

    def __init__(self, screen):
        x = ctypes.CDLL(ctypes.util.find_library("X11"))
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XCreateSimpleWindow.restype = ctypes.c_ulong
        x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                          ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
        for name, args in (("XMoveWindow", [ctypes.c_ulong, ctypes.c_int, ctypes.c_int]), ("XMapRaised", [ctypes.c_ulong]),
                           ("XSync", [ctypes.c_int]), ("XCloseDisplay", [])):
            getattr(x, name).argtypes = [ctypes.c_void_p] + args
        self.x = x
        self.display = x.XOpenDisplay(screen.env["DISPLAY"].encode())
        check(self.display, "no connection to the display")
        self.window = x.XCreateSimpleWindow(self.display, x.XDefaultRootWindow(self.display), 0, 0, RED_SIZE,
                                            RED_SIZE, 0, 0, 0xFF0000)

        attributes = Attributes()
        attributes.override_redirect = 1
        x.XChangeWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                              ctypes.POINTER(Attributes)]
        x.XChangeWindowAttributes(self.display, self.window, 1 << 9, ctypes.byref(attributes))  # CWOverrideRedirect

    def show_at(self, left, top):
        self.x.XMoveWindow(self.display, self.window, left, top)
        self.x.XMapRaised(self.display, self.window)
        self.x.XSync(self.display, 0)

    def close(self):
        self.x.XCloseDisplay(self.display)


def settled_pointer(screen, near, reach=60):
    """The pointer once it has come to rest within reach of near."""
    history = []

    def rested():
        history.append(screen.pointer())
        last = history[-4:]
        return len(last) == 4 and len(set(last)) == 1 and math.dist(last[0], near) <= reach and last[0]

    try:
        return wait_for("the pointer at rest near %s" % (near,), rested, timeout=10, interval=0.06)
    except Failure:
        raise Failure("pointer at %s, red window near %s" % (history[-1:], near)) from None


def pointer_errors(screen, red, size=SIZE):
    """The pointer's distance from the red window's centre pixel at each
    place of the grid, while tracking."""
    errors = []
    for left, top in grid(size):
        red.show_at(left, top)
        centre = (left + RED_SIZE // 2, top + RED_SIZE // 2)
        errors.append(math.dist(settled_pointer(screen, centre), centre))
    return errors


def where_seen(corners, size=SIZE):
    """The frame point at which the camera sees a desktop point."""
    width, height = size
    rows, rhs = [], []
    for (u, v), (x, y) in zip([(0, height), (width, height), (0, 0), (width, 0)], corners):
        rows += [[u, v, 1, 0, 0, 0, -x * u, -x * v], [0, 0, 0, u, v, 1, -y * u, -y * v]]
        rhs += [x, y]
    h = solve_linear(rows, rhs)
    return lambda u, v: ((h[0] * u + h[1] * v + h[2]) / (h[6] * u + h[7] * v + 1),
                         (h[3] * u + h[4] * v + h[5]) / (h[6] * u + h[7] * v + 1))


def whole_pixel_bound(corners, size=SIZE):
    """The best the settings file's whole-pixel corners allow with a spot
    found exactly at the red window's centre: the least worst (then mean)
    distance at the grid's places over every quad of the corners rounded
    down or up, through the mapping, its truncation and the absolute move."""
    seen = where_seen(corners, size)
    best = None
    for quad in itertools.product(*[[(math.floor(x) + i, math.floor(y) + j) for i in (0, 1) for j in (0, 1)]
                                    for x, y in corners]):
        mapping = homography(quad, *size)
        errors = []
        for left, top in grid(size):
            sx, sy = mapping(*seen(left + RED_SIZE / 2, top + RED_SIZE / 2))
            pointer = [pointer_pixel(int(min(max(s, 0), n)), n) for s, n in zip((sx, sy), size)]
            errors.append(math.dist(pointer, (left + RED_SIZE // 2, top + RED_SIZE // 2)))
        figure = (max(errors), sum(errors) / len(errors))
        best = figure if best is None else min(best, figure)
    return best


def pattern_windows(screen):
    return screen.windows_titled("Lumidart calibration")


def pattern_shown(screen):
    return any(screen.viewable(w) for w in pattern_windows(screen))


def time_calibration(screen, press_a):
    """Presses A; the seconds until the patterns are gone again."""
    pressed = time.monotonic()
    press_a()
    wait_for("the pattern shown", lambda: pattern_shown(screen), interval=0.01)
    wait_for("the pattern gone", lambda: not pattern_shown(screen), interval=0.01)
    return time.monotonic() - pressed
