"""lumidart.exe under Wine: key A with the DirectShow virtual camera seeing
the desktop as GDI copies it, from two perspectives, one strongly slanted.
A finds the screen's corners within 3 s and leaves the keyboard with the
console; after E and Esc the pointer lands on a red 9 x 9 window at places
round the screen, edges included; the corners are saved at close. Esc ends
a calibration under way, and a camera that does not see the screen leaves
the corners alone and shows the failure in the console picture. Prints the
accuracy and the time figures.

Usage: python3 -m e2e.wine.calibration_e2e --program EXE --camera DLL --driver EXE
       --prefix DIR --work DIR calibration
"""

import os
import sys

from ..harness.checks import check, wait_for
from ..harness.console import SCREEN_QUAD, read_corners, write_corners
from ..harness.desktop_camera import (ELSEWHERE, PERSPECTIVES, grid, judge, pattern_shown, pointer_errors, scene,
                                      time_calibration)
from ..harness.display import Screen
from ..harness.exposure import ControlLog
from ..harness.wine_session import Session, main, near, start_console, windows_path

class WineRed:
    """The driver's red window: the camera sees the desktop as GDI does,
    which shows the prefix's own windows."""

    def __init__(self, session):
        self.session = session

    def show_at(self, left, top):
        self.session.do("red %d %d" % (left, top))


def calibrate_and_track(s, screen, log, cwd, name):
    corners = PERSPECTIVES[name]
    s.steer(**scene(corners))
    program, win = start_console(s, cwd)
    red = WineRed(s)
    red.show_at(-50, -50)
    size = win["screen"]
    took = time_calibration(screen, lambda: s.do("key a"))
    win = s.wait_window("the console back", lambda w: w["visible"] and not w["iconic"])
    check(win["foreground"], "the console lost the keyboard to the pattern")
    # The first minute's E: the minimised console stays on the screen
    # (below), white, and the laser must outshine it.
    s.do("key e")
    check(log.wait_quiet("the exposure search") is not None, "E changed nothing")
    s.minimise()
    # NOTE: without a window manager Wine leaves the minimised console on
    # the X screen, never painted again: a red window there would leave
    # its trail in it. The grid's outer ring stays clear of it.
    left, top, right, bottom = win["rect"]
    places = [(x, y) for x, y in grid(size) if not (left <= x + 9 and x <= right and top <= y + 9 and y <= bottom)]
    errors = pointer_errors(screen, red, places, size)
    red.show_at(-50, -50)
    s.restore_with_f12()
    s.close(program)
    judge(name, took, errors, read_corners(cwd), corners, places, size)


def scenario_calibration(args):
    with Session(args, "calibration") as s:
        s.register_camera()
        stats = os.path.join(s.work, "stats.txt")
        s.env["LUMIDART_VIRTUALCAM_STATS"] = windows_path(stats)
        screen = Screen.of_display(s.work, s.env)
        cwd = os.path.join(s.work, "run")
        os.makedirs(cwd)
        write_corners(cwd, SCREEN_QUAD)
        for name in PERSPECTIVES:
            calibrate_and_track(s, screen, ControlLog(stats), cwd, name)
        saved = read_corners(cwd)

        program, win = start_console(s, cwd)
        s.do("key a")
        wait_for("the pattern shown", lambda: pattern_shown(screen))
        s.do("key esc")
        wait_for("the pattern gone after Esc", lambda: not pattern_shown(screen))
        check(s.window()["foreground"] and not s.window()["iconic"], "Esc during a calibration: %r" % s.window())
        print("ok  Esc ends a calibration under way", flush=True)
        s.steer(**scene(ELSEWHERE))
        s.do("key a")
        s.wait_picture("the failure shown", win, "failure",
                       lambda at: near(at(4, 100), 0xFF0000, 0) and near(at(635, 5), 0xFF0000, 0))
        s.wait_picture("the failure gone", win, "failure-gone", lambda at: not near(at(4, 100), 0xFF0000, 0))
        s.close(program)
        check(read_corners(cwd) == saved, "corners changed: %s" % read_corners(cwd))
        print("ok  a camera that does not see the screen: corners kept, the failure shown", flush=True)

if __name__ == "__main__":
    sys.exit(main(__doc__, {"calibration": scenario_calibration}))
