"""End-to-end: key A of the Linux program, with the virtual camera looking
at the real X screen (1280 x 800, a dim desktop) from two perspectives,
one strongly slanted. A covers the screen with the program's patterns,
finds the screen's corners and brings the console back within 3 s; after
Esc the pointer lands on a red 9 x 9 window at a grid of places, edges
included, and the corners are saved at close. Esc ends a calibration under
way, and a camera that does not see the screen leaves the corners alone
and shows the failure in the console picture. Prints the accuracy and the
time figures.

Usage: python3 -m e2e.x11.calibration_e2e LUMIDART
"""

import os
import sys
import time

from ..harness.checks import check, wait_for
from ..harness.console import SCREEN_QUAD, TITLE, read_corners, write_corners
from ..harness.desktop_camera import (ELSEWHERE, PERSPECTIVES, SIZE, RedWindow, grid, judge, pattern_shown,
                                      pointer_errors, scene, time_calibration)
from ..harness.display import Screen
from ..harness.linux_program import Program, run_driver, start_tracking, steer, stop_tracking, wait_preview

FAILURE_RED = 0xFF0000


def start(screen, program, workdir, name):
    directory = os.path.join(workdir, name.replace(" ", "-"))
    os.mkdir(directory)
    write_corners(directory, SCREEN_QUAD)
    p = Program(screen, program, directory)
    p.wait_for_window(monitor=(0, 0) + SIZE)
    screen.xdo("mousemove", 5, 5)
    wait_preview(p)
    return p, directory


def keyboard_stays(p, what):
    check(int(p.screen.xdo("getwindowfocus")) == p.window, "%s: the console lost the keyboard" % what)


def check_perspective(screen, program, workdir, name, red):
    corners = PERSPECTIVES[name]
    red.show_at(-50, -50)
    steer(screen, **scene(corners))
    p, directory = start(screen, program, workdir, name)
    screen.xdo("windowactivate", "--sync", p.window)
    took = time_calibration(screen, lambda: screen.xdo("key", "a"))
    check(p.state() == "Normal", "%s: the console is %s after A" % (name, p.state()))
    keyboard_stays(p, name)
    start_tracking(p)
    errors = pointer_errors(screen, red, grid())
    red.show_at(-50, -50)
    stop_tracking(p, picture=False)
    p.close_with_keyboard()
    p.exit_code()
    judge(name, took, errors, read_corners(directory), corners, grid())


def check_esc_and_elsewhere(screen, program, workdir):
    steer(screen, **scene(PERSPECTIVES["mild"]))
    p, directory = start(screen, program, workdir, "esc-elsewhere")
    p.key("a")
    wait_for("the pattern shown", lambda: pattern_shown(screen))
    screen.xdo("key", "Escape")
    wait_for("the pattern gone after Esc", lambda: not pattern_shown(screen))
    check(p.state() == "Normal", "Esc during a calibration left the console %s" % p.state())
    keyboard_stays(p, "Esc")
    print("ok  Esc ends a calibration under way", flush=True)

    steer(screen, **scene(ELSEWHERE))
    p.key("a")
    p.wait_picture("the failure shown", lambda px: px(4, 100) == FAILURE_RED and px(635, 5) == FAILURE_RED)
    shown = time.monotonic()
    check(not pattern_shown(screen), "the pattern stays after a failure")
    p.wait_picture("the failure gone", lambda px: px(4, 100) != FAILURE_RED)
    check(screen.only_window_titled(TITLE) == p.window, "the title changed")
    keyboard_stays(p, "a failure")
    p.close_with_keyboard()
    p.exit_code()
    check(read_corners(directory) == SCREEN_QUAD, "corners changed: %s" % read_corners(directory))
    print("ok  a camera that does not see the screen: corners kept, the failure shown for %.1f s"
          % (time.monotonic() - shown), flush=True)


def run_checks(program, workdir):
    screen = Screen(workdir, size=SIZE)
    red = None
    try:
        screen.run(["xsetroot", "-solid", "#2a3340"])
        red = RedWindow(screen)
        for name in PERSPECTIVES:
            check_perspective(screen, program, workdir, name, red)
        check_esc_and_elsewhere(screen, program, workdir)
    finally:
        if red is not None:
            red.close()
        screen.close()


if __name__ == "__main__":
    sys.exit(run_driver(__doc__, "lumidart-calibration-e2e-", run_checks))
