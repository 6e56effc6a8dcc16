"""Parity of the two builds: the same virtual camera scene must give the
same console picture and the same cursor positions on Linux and under Wine.

Both programs run one after the other on one Xvfb display of this test's own
(with openbox, which the Linux program needs to minimise), each in a fresh
working directory. The compared client areas are kept as PNGs in the work
directory.

Usage: python3 -m e2e.parity.parity_e2e --linux-program LUMIDART --program EXE
       --camera DLL --driver EXE --prefix DIR --work DIR
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

from ..harness.checks import Failure, check, wait_for
from ..harness.console import (BLACK, BLUE, CLIENT_H, CLIENT_W, CYAN, GREEN, SPOT_CORE, H, W, WHITE, rgb,
                               write_corners)
from ..harness.display import Screen
from ..harness.expected_cursor import resting_place, screen_point
from ..harness.linux_program import Program, start_tracking, steer, stop_tracking
from ..harness.wine_session import Picture as Screenshot
from ..harness.wine_session import Session, start_console

# No noise, so every frame is the same; the spot at frame (200, 300) is
# picture (200, 179). No settings file: the default, axis-aligned quad.
PICTURE_SCENE = dict(noise=0, spot_x=200, spot_y=300, spot_radius=4, spot_red=250)
SPOT = (200, 179)
MAGNIFIER_AT = (324, 100)
BUTTON_AT = (500, 400)

# What each compared moment must at least show, so that two empty or stale
# pictures cannot pass for agreement: crosshair, the outline, the spot; with
# the mouse at (324, 100) the magnifier doubles the crosshair column into
# columns 316 and 317; the threshold map; the left button's square.
PREVIEW = [(320, 20, CYAN), (20, 240, CYAN), (620, 240, CYAN), (300, 39, BLUE), (300, 439, BLUE),
           (40, 300, BLUE), (600, 300, BLUE), (SPOT[0], SPOT[1], SPOT_CORE)]
MAGNIFIER = [(316, 100, CYAN), (317, 100, CYAN), (320, 20, CYAN), (SPOT[0], SPOT[1], SPOT_CORE)]
THRESHOLD = [(SPOT[0], SPOT[1], GREEN), (100, 100, BLACK), (300, 300, BLACK), (300, 439, BLUE)]
BUTTON = THRESHOLD + [(165, 265, WHITE), (150, 265, BLUE), (181, 265, BLUE), (315, 265, BLACK)]

# A skewed quad, and the spot positions visited while tracking: far jumps,
# a small step that the smoothing shortens, and two outside the quad but in
# its Search box (its bounding box), which clamp to the screen's edges.
TRACKING_QUAD = [(90, 70), (560, 50), (60, 430), (590, 410)]
TRACKING_SCENE = dict(noise=0, spot_radius=3, spot_red=250)
TRACKING_SPOTS = [(320, 240), (150, 120), (500, 380), (430, 110), (433, 112), (64, 54), (586, 426)]
# A resting cursor: unchanged for this long, many frames at 30 fps.
REST = 0.6


class Picture:
    """A console's 640 x 480 client area as RGB bytes."""

    def __init__(self, screen, origin):
        ppm = subprocess.run(
            ["import", "-display", screen.env["DISPLAY"], "-window", "root",
             "-crop", "%dx%d+%d+%d" % ((CLIENT_W, CLIENT_H) + tuple(origin)), "+repage", "-depth", "8", "ppm:-"],
            check=True, stdout=subprocess.PIPE, timeout=30).stdout
        picture = Screenshot(ppm)
        check((picture.width, picture.height) == (CLIENT_W, CLIENT_H), "screenshot not 640 x 480")
        self.rgb = picture.data

    def at(self, x, y):
        i = (y * CLIENT_W + x) * 3
        return tuple(self.rgb[i:i + 3])

    def shows(self, pixels):
        return all(self.at(x, y) == rgb(colour) for x, y, colour in pixels)

    def save(self, path):
        ppm = b"P6 %d %d 255\n" % (CLIENT_W, CLIENT_H) + self.rgb
        subprocess.run(["convert", "ppm:-", path], input=ppm, check=True, timeout=30)

    def differences(self, other):
        """How many pixels differ, where, and the first of them."""
        found = [(i // 3) for i in range(0, len(self.rgb), 3) if self.rgb[i:i + 3] != other.rgb[i:i + 3]]
        if not found:
            return "none"
        xs, ys = [i % CLIENT_W for i in found], [i // CLIENT_W for i in found]
        x, y = xs[0], ys[0]
        return "%d pixels in columns %d..%d, lines %d..%d; first at %d,%d: %r here, %r there" % (
            len(found), min(xs), max(xs), min(ys), max(ys), x, y, self.at(x, y), other.at(x, y))


class LinuxConsole:
    def __init__(self, screen, program, workdir):
        self.screen = screen
        self.p = Program(screen, program, workdir)
        self.p.wait_for_window()
        self.origin = (self.p.x, self.p.y)

    def steer(self, **values):
        steer(self.screen, **values)

    def move(self, at):
        self.screen.xdo("mousemove", *((5, 5) if at is None else (self.p.x + at[0], self.p.y + at[1])))

    def space(self):
        self.p.key("space")

    def press(self, down):
        self.screen.xdo("mousedown" if down else "mouseup", 1)

    def minimise(self):
        start_tracking(self.p)

    def cursor(self):
        return self.screen.pointer()

    def close(self):
        if self.p.state() == "Iconic":
            stop_tracking(self.p)
        self.p.close_with_keyboard()
        check(self.p.exit_code() == 0, "the Linux program's exit code is not 0")


class WineConsole:
    def __init__(self, screen, session, workdir):
        self.screen = screen
        self.s = session
        self.process, win = start_console(session, workdir)
        self.origin = win["origin"]

    def steer(self, **values):
        self.s.steer(**values)

    def move(self, at):
        self.s.do("move %d %d" % ((2, 2) if at is None else (self.origin[0] + at[0], self.origin[1] + at[1])))

    def space(self):
        self.s.do("key space")

    def press(self, down):
        self.s.do("button down" if down else "button up")

    def minimise(self):
        self.s.minimise()

    def cursor(self):
        # What Windows programs see, and the X pointer the user sees: a
        # disagreement rests as a pair that matches no Linux position.
        inside, pointer = self.s.cursor(), self.screen.pointer()
        return inside if inside == pointer else (inside, pointer)

    def close(self):
        if self.s.window()["iconic"]:
            self.s.restore_with_f12()
        self.s.close(self.process)


def settled(console, what, pixels):
    """The first picture that shows pixels and equals the next grab: the
    console has caught up with the last change."""
    previous = [None]

    def probe():
        picture = Picture(console.screen, console.origin)
        same = previous[0] is not None and picture.rgb == previous[0].rgb
        previous[0] = picture if picture.shows(pixels) else None
        return picture if same else None

    return wait_for(what, probe, timeout=15)


def matching(console, what, reference, path):
    """Waits for the console to show exactly the reference picture; on
    failure says where the last grab differs."""
    last = [None]

    def probe():
        last[0] = Picture(console.screen, console.origin)
        return last[0].rgb == reference.rgb

    try:
        wait_for(what, probe, timeout=15)
    except Failure as failure:
        if last[0] is None:
            raise
        raise Failure("%s; it differs in %s" % (failure, reference.differences(last[0])))
    finally:
        if last[0] is not None:
            last[0].save(path)


def picture_moments(console, take):
    """Walks a console through the compared moments; take(name, what,
    pixels) captures one."""
    console.move(None)
    take("preview", "the preview", PREVIEW)
    console.move(MAGNIFIER_AT)
    take("magnifier", "the magnifier", MAGNIFIER)
    console.move(None)
    console.space()
    take("threshold", "the threshold view", THRESHOLD)
    console.move(BUTTON_AT)
    console.press(True)
    try:
        take("button", "the threshold view with the left button held", BUTTON)
    finally:
        console.press(False)


def rest(console, what, previous):
    """The cursor's next resting place away from previous: unchanged for
    REST seconds."""
    since = [None, None]

    def probe():
        now, position = time.monotonic(), console.cursor()
        if position != since[1]:
            since[:] = [now, position]
        return position if position != previous and now - since[0] >= REST else None

    try:
        return wait_for(what, probe, timeout=15)
    except Failure as failure:
        raise Failure("%s; the cursor is at %r" % (failure, console.cursor()))


def cursor_positions(console):
    console.move(None)
    positions, previous = [], console.cursor()
    console.minimise()
    for spot in TRACKING_SPOTS:
        console.steer(spot_x=spot[0], spot_y=spot[1], **TRACKING_SCENE)
        previous = rest(console, "the cursor to rest for spot %r" % (spot,), previous)
        positions.append(previous)
    return positions


def self_check_positions():
    """Each spot must move the cursor, or a resting place could not be told
    from the one before (the independent model of the Linux driver)."""
    previous = (W // 2, H // 2)
    for spot in TRACKING_SPOTS:
        following = resting_place(previous, screen_point(TRACKING_QUAD, spot))
        check(following != previous, "spot %r would not move the cursor" % (spot,))
        previous = following


def start_fresh(work, name, quad=None):
    directory = os.path.join(work, name)
    os.makedirs(directory)
    if quad:
        write_corners(directory, quad)
    return directory


def run_linux(screen, args):
    pictures = {}
    screen.workdir = os.path.join(args.work, "linux")
    os.makedirs(screen.workdir)
    steer(screen, **PICTURE_SCENE)
    console = LinuxConsole(screen, args.linux_program, start_fresh(screen.workdir, "pictures"))

    def take(name, what, pixels):
        pictures[name] = settled(console, what, pixels)
        pictures[name].save(os.path.join(args.work, name + "-linux.png"))

    picture_moments(console, take)
    console.close()

    steer(screen, spot_x=TRACKING_SPOTS[0][0], spot_y=TRACKING_SPOTS[0][1], **TRACKING_SCENE)
    console = LinuxConsole(screen, args.linux_program, start_fresh(screen.workdir, "cursor", TRACKING_QUAD))
    positions = cursor_positions(console)
    console.close()
    return pictures, positions


def run_wine(screen, args, pictures):
    with Session(args, "wine", screen.env["DISPLAY"]) as s:
        s.register_camera()
        s.steer(**PICTURE_SCENE)
        console = WineConsole(screen, s, start_fresh(s.work, "pictures"))

        def take(name, what, pixels):
            matching(console, what + " as on Linux", pictures[name], os.path.join(args.work, name + "-windows.png"))

        picture_moments(console, take)
        console.close()

        s.steer(spot_x=TRACKING_SPOTS[0][0], spot_y=TRACKING_SPOTS[0][1], **TRACKING_SCENE)
        console = WineConsole(screen, s, start_fresh(s.work, "cursor", TRACKING_QUAD))
        positions = cursor_positions(console)
        console.close()
        return positions


def run(args):
    self_check_positions()
    os.makedirs(args.work)
    screen = Screen(args.work)
    try:
        pictures, linux_positions = run_linux(screen, args)
        print("ok  Linux pictures and cursor positions %r" % linux_positions, flush=True)
        wine_positions = run_wine(screen, args, pictures)
        print("ok  Windows pictures match; cursor positions %r" % wine_positions, flush=True)
    finally:
        screen.close()
    # Exact: the Linux program turns the 0..65535 coordinate into a pixel as
    # Windows does, so no rounding difference is allowed for.
    for spot, here, there in zip(TRACKING_SPOTS, linux_positions, wine_positions):
        check(here == there, "spot %r: the cursor rests at %r on Linux, %r under Wine" % (spot, here, there))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("linux-program", "program", "camera", "driver", "prefix", "work"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    for option in ("linux_program", "program", "camera", "driver", "prefix", "work"):
        setattr(args, option, os.path.abspath(getattr(args, option)))
    started = time.monotonic()
    if not os.access(args.linux_program, os.X_OK):
        print("FAILED: no Linux program at %s; build the linux preset first "
              "or set LUMIDART_LINUX_PROGRAM" % args.linux_program)
        return 1
    args.work = os.path.join(args.work, "parity")
    shutil.rmtree(args.work, ignore_errors=True)
    try:
        run(args)
    except Failure as failure:
        print("FAILED: %s (screenshots in %s)" % (failure, args.work))
        return 1
    print("passed in %.1f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
