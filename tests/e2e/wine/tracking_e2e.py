"""lumidart.exe under Wine: Esc starts tracking, the cursor follows the spot
through the projective mapping and the smoothing, rests without a spot,
and F12 brings the console back.

Usage: python3 -m e2e.wine.tracking_e2e --program EXE --camera DLL --driver EXE
       --prefix DIR --work DIR tracking
"""

import os
import sys
import time

from ..harness.checks import check
from ..harness.console import CYAN, read_corners, write_corners
from ..harness.expected_cursor import resting_place
from ..harness.wine_session import (TRACKING_QUAD, Session, exact_screen_point, follow_spots, main, near, near_point,
                                     start_console)


def scenario_tracking(args):
    """Esc starts tracking: the cursor follows the spot through the
    projective mapping and the smoothing; F12 brings the console back."""
    with Session(args, "tracking") as s:
        s.register_camera()
        cwd = os.path.join(s.work, "run")
        os.makedirs(cwd)
        write_corners(cwd, TRACKING_QUAD)
        s.steer(spot_radius=0)
        program, win = start_console(s, cwd)
        size = win["screen"]

        s.minimise()
        s.screenshot("tracking")

        # Tracking starts from the screen centre. Each new spot position is
        # far from the last: the cursor jumps straight to the mapped point.
        previous = follow_spots(s, TRACKING_QUAD, ((320, 240), (150, 120), (500, 380), (430, 110)), size)

        # A small step to the right: the blend approaches from the left and
        # rests short of the mapped point.
        spot = (433, 110)
        target = exact_screen_point(TRACKING_QUAD, spot, size)
        check(all(abs(t - p) <= 8 for p, t in zip(previous, target)), "step not small: %r -> %r" % (previous, target))
        expected = resting_place(previous, target)
        check(not near_point(expected, target), "the test step does not exercise the smoothing")
        s.steer(spot_x=spot[0], spot_y=spot[1])
        s.wait_cursor("the smoothed cursor at %r" % (expected,), expected)
        time.sleep(0.5)
        check(near_point(s.cursor(), expected), "the cursor did not rest at %r" % (expected,))

        # No spot: the cursor stays.
        resting = s.cursor()
        s.steer(spot_radius=0)
        time.sleep(1.0)
        check(s.cursor() == resting, "the cursor moved without a spot")

        win = s.restore_with_f12()
        s.wait_picture("the preview after F12", win, "after-f12", lambda at: near(at(320, 100), CYAN))

        s.close(program)
        check(read_corners(cwd) == TRACKING_QUAD, "the corners changed")


if __name__ == "__main__":
    sys.exit(main(__doc__, {"tracking": scenario_tracking}))
