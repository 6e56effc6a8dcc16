"""The exposure assistant's scene and what its outcome must look like, on
either build: a white slide filling the virtual camera's screen, the laser
off its middle; the camera's control log; and checks over the console's
pixels (px(x, line) in client coordinates)."""

import time

from .checks import Failure, check, wait_for
from .console import GREEN, SCREEN_QUAD

LASER = (150, 120)
# The slide at red 252 with noise up to 6: most of it saturates at 255,
# above the laser's 250.
SLIDE_SCENE = dict(slide_red=252, noise=6, spot_x=LASER[0], spot_y=LASER[1], spot_radius=4, spot_red=250)
# The Search box of SCREEN_QUAD, in frame coordinates.
BOX = (min(x for x, _ in SCREEN_QUAD), max(x for x, _ in SCREEN_QUAD),
       min(y for _, y in SCREEN_QUAD), max(y for _, y in SCREEN_QUAD))
LIMIT = 200
# The virtual camera's exposure range and default.
EXPOSURE_RANGE = (1, 1000)
EXPOSURE_DEFAULT = 100
# How long the search may take from the key to the camera's last change.
SEARCH_SECONDS = 6.0


def row_level(y, y_min=BOX[2], y_max=BOX[3]):
    """The Threshold view's level for frame row y: 224 falling to 112 across
    the box, rows 2 and 3 of each four repeating row 1's."""
    def own(row):
        if y_max == y_min:
            return 224
        return 224 + int(112 * (y_min - row) / (y_max - y_min))

    if y & 2 == 0:
        return own(y)
    source = y - ((y & 3) - 1)
    return 224 if source < y_min else own(source)


def best_exposure():
    """The brightest exposure at which the slide, scaled and rounded as the
    virtual camera does, plus its noise stays within the limit."""
    red, noise = SLIDE_SCENE["slide_red"], SLIDE_SCENE["noise"]
    return max(e for e in range(EXPOSURE_RANGE[0], EXPOSURE_RANGE[1] + 1)
               if (red * e * 100 + 5000) // 10000 + noise <= LIMIT)


def near_pointer(p, what, expected, tolerance):
    """The pointer comes within tolerance pixels of expected on each axis."""
    try:
        wait_for(what, lambda: all(abs(a - b) <= tolerance for a, b in zip(p.screen.pointer(), expected)), timeout=5)
    except Failure:
        raise Failure("%s: pointer at %s, expected %s" % (what, p.screen.pointer(), expected)) from None


def near_laser(x, row, reach=12):
    return (x - LASER[0]) ** 2 + (row - LASER[1]) ** 2 <= reach * reach


def box_pixels():
    x_min, x_max, y_min, y_max = BOX
    for row in range(y_min, y_max + 1):
        for x in range(x_min, x_max + 1):
            yield x, row


def brightest(px):
    """The highest red in the box and the centre of the box of all pixels
    at it, as the detector would report them."""
    top, xs, rows = -1, [], []
    for x, row in box_pixels():
        red = px(x, 479 - row) >> 16
        if red > top:
            top, xs, rows = red, [x], [row]
        elif red == top:
            xs.append(x)
            rows.append(row)
    return top, ((min(xs) + max(xs)) / 2, (min(rows) + max(rows)) / 2)


def check_slide_wins(px):
    """Before the search: the slide saturates, the laser is not the
    brightest, and the brightest box spans the slide."""
    top, centre = brightest(px)
    check(top == 255, "the slide's highest red is %d, not 255" % top)
    check(not near_laser(*centre, reach=60), "the brightest box's centre %r is at the laser" % (centre,))
    return centre


def check_clean_preview(px, what):
    """After: nothing in the box but the laser above the limit."""
    worst = max((px(x, 479 - row) >> 16, x, row) for x, row in box_pixels() if not near_laser(x, row))
    check(worst[0] <= LIMIT, "%s: red %d at %r in the box" % (what, worst[0], worst[1:]))
    laser = px(LASER[0], 479 - LASER[1]) >> 16
    check(laser > 224, "%s: the laser's red is %d" % (what, laser))


def check_clean_threshold(px, what):
    """After: the Threshold view lights the laser, and elsewhere only pixels
    on rows whose level lies below the limit (the view's level falls to 112,
    the detector's stays at 224)."""
    for x, row in box_pixels():
        if px(x, 479 - row) == GREEN and not near_laser(x, row):
            check(row_level(row) < LIMIT, "%s: lit at %r, row level %d" % (what, (x, row), row_level(row)))
    check(px(LASER[0], 479 - LASER[1]) == GREEN, "%s: the laser is not lit" % what)


class ControlLog:
    """The virtual camera's "control NAME VALUE" lines in its stats file,
    each with the time this process saw it."""

    def __init__(self, path):
        self.path = path
        self.seen = []
        self.read = 0

    def poll(self):
        try:
            with open(self.path) as f:
                lines = [line.split() for line in f.read().splitlines() if line.startswith("control ")]
        except FileNotFoundError:
            lines = []
        now = time.monotonic()
        for fields in lines[len(self.seen):]:
            self.seen.append((now, fields[1], int(fields[2])))
        return len(self.seen)

    def wait_quiet(self, what, quiet=1.0, timeout=20.0):
        """Waits until no line has come for quiet seconds; returns the time
        of the last one (None if none came)."""
        deadline = time.monotonic() + timeout
        last_count, last_change = self.poll(), time.monotonic()
        while time.monotonic() - last_change < quiet:
            check(time.monotonic() < deadline, "%s: the camera kept changing" % what)
            time.sleep(0.02)
            count = self.poll()
            if count != last_count:
                last_count, last_change = count, time.monotonic()
        return self.seen[-1][0] if self.seen else None

    def wait_lines(self, what, count, timeout=10.0):
        wait_for(what, lambda: self.poll() >= count, timeout=timeout, interval=0.02)

    def mean_step_ms(self, name):
        """The mean time between successive settings of one control."""
        times = [t for t, n, _ in self.seen if n == name]
        return 1000 * (times[-1] - times[0]) / (len(times) - 1) if len(times) > 1 else 0.0

    def values(self, name):
        return [value for _, n, value in self.seen if n == name]
