"""lumidart.exe under Wine: key A with the DirectShow virtual camera seeing
the desktop as GDI copies it, from a strongly slanted perspective. A finds
the screen's corners within 3 s and leaves the keyboard with the console;
after Esc the pointer lands on a red 9 x 9 window at a grid of places,
edges included; the corners are saved at close, and a camera that does not
see the screen leaves them alone and shows the failure in the console
picture. Prints the accuracy and the time figures.

Usage: python3 -m e2e.wine.calibration_e2e --program EXE --camera DLL --driver EXE
       --prefix DIR --work DIR calibration
"""

import os
import statistics
import sys

from ..harness.checks import check
from ..harness.console import SCREEN_QUAD, read_corners, write_corners
from ..harness.desktop_camera import (A_LIMIT, ELSEWHERE, PERSPECTIVES, RedWindow, check_errors, pointer_errors,
                                      scene, time_calibration, whole_pixel_bound)
from ..harness.display import Screen
from ..harness.wine_session import Session, main, near, start_console

PERSPECTIVE = "strongly slanted"


def scenario_calibration(args):
    with Session(args, "calibration") as s:
        s.register_camera()
        screen = Screen.of_display(s.work, s.env)
        red = RedWindow(screen)
        cwd = os.path.join(s.work, "run")
        os.makedirs(cwd)
        write_corners(cwd, SCREEN_QUAD)
        corners = PERSPECTIVES[PERSPECTIVE]
        s.steer(**scene(corners))
        red.show_at(-50, -50)
        program, win = start_console(s, cwd)
        size = win["screen"]
        took = time_calibration(screen, lambda: s.do("key a"))
        win = s.wait_window("the console back", lambda w: w["visible"] and not w["iconic"])
        check(win["foreground"], "the console lost the keyboard to the pattern")
        s.minimise()
        errors = pointer_errors(screen, red, size)
        red.show_at(-50, -50)
        s.restore_with_f12()
        s.close(program)
        saved = read_corners(cwd)
        print("ok  %s: A took %.2f s; pointer from the red window at %d places: worst %.2f px, mean %.2f px "
              "(whole-pixel corners allow worst %.2f, mean %.2f); corners %s for %s"
              % ((PERSPECTIVE, took, len(errors), max(errors), statistics.mean(errors))
                 + whole_pixel_bound(corners, size) + (saved, corners)), flush=True)
        check(took <= A_LIMIT, "A took %.2f s" % took)
        check(all(abs(v - t) <= 1 for c, truth in zip(saved, corners) for v, t in zip(c, truth)),
              "corners saved %s, the screen's are %s" % (saved, corners))
        check_errors(PERSPECTIVE, errors)

        program, win = start_console(s, cwd)
        s.steer(**scene(ELSEWHERE))
        s.do("key a")
        s.wait_picture("the failure shown", win, "failure",
                       lambda at: near(at(4, 100), 0xFF0000, 0) and near(at(635, 5), 0xFF0000, 0))
        s.wait_picture("the failure gone", win, "failure-gone", lambda at: not near(at(4, 100), 0xFF0000, 0))
        s.close(program)
        check(read_corners(cwd) == saved, "corners changed: %s" % read_corners(cwd))
        red.close()
        print("ok  a camera that does not see the screen: corners kept, the failure shown", flush=True)


if __name__ == "__main__":
    sys.exit(main(__doc__, {"calibration": scenario_calibration}))
