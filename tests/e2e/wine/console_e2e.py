"""lumidart.exe under Wine: start, the picture, the magnifier, the
threshold view with a held button, and a corner click saved on close.

Usage: python3 -m e2e.wine.console_e2e --program EXE --camera DLL --driver EXE
       --prefix DIR --work DIR console
"""

import os
import sys

from ..harness.checks import check
from ..harness.console import BLACK, BLUE, CYAN, DEFAULT_QUAD, GREEN, TITLE, WHITE, read_corners
from ..harness.wine_session import Session, camera_like, main, near, start_console


def scenario_console(args):
    """Start, the picture, the threshold view and a corner click."""
    with Session(args, "console") as s:
        s.register_camera()
        cwd = os.path.join(s.work, "run")
        program, win = start_console(s, cwd)

        check(win["title"] == TITLE, "title %r" % win["title"])
        check(win["client"] == (640, 480), "client area %r" % (win["client"],))
        left, top, right, bottom = win["rect"]
        width, height = win["screen"]
        check((left, top) == ((width - 640) // 2, (height - 480) // 2), "window not centred: %r" % (win["rect"],))

        at = s.client(win, "preview")
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
        s.wait_picture("the magnifier", win, "magnifier", lambda at: (
            near(at(316, 100), CYAN) and near(at(317, 100), CYAN) and not near(at(320, 100), CYAN)))
        s.do("move 2 2")

        # Space: the threshold view inside the search box (columns 40..600,
        # picture lines 39..439), the camera outside it.
        s.do("key space")
        s.wait_picture("the threshold view", win, "threshold", lambda at: (
            near(at(100, 100), BLACK, 4) and near(at(300, 300), BLACK, 4) and near(at(200, 179), GREEN, 4)
            and camera_like(at(10, 10)) and near(at(300, 439), BLUE)))

        # A held left button shows its square; in this view the press sets
        # no corner (the press falls in the lower right quarter).
        s.do("move %d %d" % (win["origin"][0] + 500, win["origin"][1] + 400))
        s.do("button down")
        s.wait_picture("the left button's square", win, "button", lambda at: (
            near(at(165, 265), WHITE, 4) and near(at(150, 265), BLUE) and near(at(181, 265), BLUE)
            and not near(at(315, 265), WHITE, 4)))
        s.do("button up")

        s.do("key space")
        s.wait_picture("Preview after the second Space", win, "preview-again", lambda at: (
            camera_like(at(100, 100)) and near(at(320, 100), CYAN)))

        # A click at client (60, 420), the lower left quarter, makes P0
        # (60, 60): the outline's lower left corner moves to line 419. The
        # lower side then runs from (60, 419) to (600, 439): line 428 at
        # column 300.
        s.do("click %d %d" % (win["origin"][0] + 60, win["origin"][1] + 420))
        s.do("move 2 2")
        s.wait_picture("the outline through the new corner", win, "corner", lambda at: (
            near(at(60, 419), BLUE) and camera_like(at(40, 439))
            and any(near(at(300, y), BLUE) for y in range(426, 431))))

        s.close(program)
        corners = read_corners(cwd)
        check(corners == [(60, 60)] + DEFAULT_QUAD[1:], "corners saved: %r" % corners)


if __name__ == "__main__":
    sys.exit(main(__doc__, {"console": scenario_console}))
