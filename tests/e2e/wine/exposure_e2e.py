"""lumidart.exe under Wine: the exposure assistant with the DirectShow
virtual camera's camera-control and proc-amp interfaces. A white slide that
saturates above the laser makes tracking land at the slide's middle; after
E the camera's exposure is at the brightest setting that keeps the Search
box within the limit, found in seconds, only the laser exceeds it and
tracking lands where the mapping puts the laser. E again or F12 stops a
search, the close button during one ends the program cleanly, and a camera
without the interfaces is left as it was.

Usage: python3 -m e2e.wine.exposure_e2e --program EXE --camera DLL --driver EXE
       --prefix DIR --work DIR exposure
"""

import os
import sys
import time

from ..harness.checks import Failure, check, wait_for
from ..harness.console import CYAN, SCREEN_QUAD, write_corners
from ..harness.expected_cursor import resting_place, screen_point
from ..harness.exposure import (LASER, SEARCH_SECONDS, SLIDE_SCENE, ControlLog, best_exposure, check_clean_preview,
                                check_clean_threshold, check_slide_wins)
from ..harness.wine_session import Session, exact_screen_point, main, near, shown, start_console, windows_path


def pixels(s, win, label):
    """A screenshot as px(x, line) giving 0xRRGGBB, as the shared checks read."""
    at = s.client(win, label)

    def px(x, y):
        r, g, b = at(x, y)
        return (r << 16) | (g << 8) | b

    return px


def wait_cursor_near(s, what, expected, tolerance):
    try:
        wait_for(what, lambda: all(abs(a - b) <= tolerance for a, b in zip(s.cursor(), expected)), timeout=10)
    except Failure as failure:
        raise Failure("%s; it is at %r, expected %r" % (failure, s.cursor(), expected)) from None


def search(s, win, log):
    size = win["screen"]
    slide_middle = check_slide_wins(pixels(s, win, "slide"))
    s.minimise()
    # The noise moves the saturated pixels' box a little from frame to frame.
    wait_cursor_near(s, "the cursor at the slide's middle", screen_point(SCREEN_QUAD, slide_middle, size), 12)
    win = s.restore_with_f12()
    s.wait_picture("the preview after F12", win, "after-f12", lambda at: near(at(320, 100), CYAN))

    # The operator switches the laser off for the search.
    s.steer(**dict(SLIDE_SCENE, spot_radius=0))
    pressed = time.monotonic()
    s.do("key e")
    ended = log.wait_quiet("the search")
    check(ended is not None, "the search changed nothing")
    took = ended - pressed
    check(took < SEARCH_SECONDS, "the search took %.1f s" % took)
    steps = log.values("exposure")
    check(log.values("exposure-auto") == [0] and steps and not log.values("gain") and not log.values("brightness"),
          "controls set: %r" % log.seen)
    print("ok  search: %d exposure settings in %.2f s (%.0f ms apart), ending at %d"
          % (len(steps), took, log.mean_step_ms("exposure"), steps[-1]), flush=True)
    check(steps[-1] == best_exposure(), "the search ended at %d, not %d" % (steps[-1], best_exposure()))

    s.steer(**SLIDE_SCENE)
    s.wait_picture("the laser in the threshold view", win, "laser",
                   lambda at: near(at(LASER[0], 479 - LASER[1]), 0x00FF00, 0))
    check_clean_threshold(pixels(s, win, "threshold"), "threshold view after the search")
    s.do("key space")
    s.wait_picture("the preview", win, "preview", lambda at: near(at(320, 100), CYAN))
    check_clean_preview(pixels(s, win, "clean"), "preview after the search")

    s.minimise()
    expected = resting_place((size[0] // 2, size[1] // 2), exact_screen_point(SCREEN_QUAD, LASER, size))
    s.wait_cursor("the cursor on the laser", expected)
    win = s.restore_with_f12()
    s.wait_picture("the preview after F12", win, "after-f12-again", lambda at: near(at(320, 100), CYAN))
    return win


def stops(s, program, log):
    s.steer(**dict(SLIDE_SCENE, spot_radius=0))
    for key in ("e", "f12"):
        before = log.poll()
        s.do("key e")
        log.wait_lines("a search under way", before + 3)
        s.do("key " + key)
        at_stop = log.poll()
        time.sleep(1.0)
        # A change already on its way through the message loop may still land.
        check(log.poll() <= at_stop + 1, "%s did not stop the search: %r" % (key, log.seen[at_stop:]))
        print("ok  %s stops the search" % key, flush=True)
    before = log.poll()
    s.do("key e")
    log.wait_lines("a search to close in", before + 2)
    s.close(program, "close during a search:")
    print("ok  close during a search", flush=True)


def scenario_exposure(args):
    with Session(args, "exposure") as s:
        s.register_camera()
        stats = os.path.join(s.work, "stats.txt")
        s.env["LUMIDART_VIRTUALCAM_STATS"] = windows_path(stats)
        log = ControlLog(stats)
        cwd = os.path.join(s.work, "run")
        os.makedirs(cwd)
        write_corners(cwd, SCREEN_QUAD)
        s.steer(**SLIDE_SCENE)
        program, win = start_console(s, cwd)
        search(s, win, log)
        stops(s, program, log)

        # A camera without the interfaces: E leaves it, and the console, alone.
        seen = log.poll()
        program = s.start_program(cwd, "no-controls")
        win = s.wait_window("the console without controls", shown)
        win = s.in_front()
        s.steer(**dict(SLIDE_SCENE, spot_radius=0))
        s.wait_picture("the slide", win, "no-controls", lambda at: near(at(320, 100), CYAN))
        s.do("key e")
        time.sleep(1.5)
        at = s.client(win, "after-e")
        # Still the Preview, and the slide as bright as the camera gives it.
        check(near(at(320, 100), CYAN) and at(300, 300)[0] >= 246, "E changed the console of a camera without controls")
        check(log.poll() == seen, "controls set: %r" % (log.seen[seen:],))
        s.close(program, "without controls:")
        print("ok  a camera without the controls is left as it was", flush=True)


if __name__ == "__main__":
    sys.exit(main(__doc__, {"exposure": scenario_exposure}))
