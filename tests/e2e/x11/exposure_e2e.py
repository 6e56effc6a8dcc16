"""End-to-end: the exposure assistant of the Linux program, with the
virtual camera showing a white slide that saturates above the laser. Before
E, tracking puts the cursor at the slide's middle; E takes the camera out of
automatic exposure and turns its exposure down in a few seconds, after which
only the laser exceeds the limit inside the Search box and tracking lands
where the mapping puts the laser. E, F12 and Tab stop a search where it is,
the close button during one ends the program cleanly, and a source without
the controls is left alone.

Usage: python3 -m e2e.x11.exposure_e2e LUMIDART
"""

import os
import sys
import time

from ..harness.checks import check, wait_for
from ..harness.console import CYAN, GREEN, SCREEN_QUAD, SETTINGS_DIALOG, TITLE, H, W, write_corners
from ..harness.display import Screen
from ..harness.exposure import (LASER, SEARCH_SECONDS, SLIDE_SCENE, ControlLog, best_exposure, check_clean_preview,
                                check_clean_threshold, check_slide_wins, near_pointer)
from ..harness.expected_cursor import expected_pointer, screen_point
from ..harness.linux_program import Program, run_driver, start_tracking, steer, stop_tracking, wait_pointer


def start(screen, program, workdir, name, source="lumidartvirtualcam"):
    directory = os.path.join(workdir, name)
    os.mkdir(directory)
    write_corners(directory, SCREEN_QUAD)
    stats = os.path.join(directory, "stats.txt")
    screen.env["LUMIDART_VIRTUALCAM_STATS"] = stats
    steer(screen, **SLIDE_SCENE)
    p = Program(screen, program, directory, source=source)
    p.wait_for_window()
    screen.xdo("mousemove", 5, 5)
    p.wait_picture("%s: the preview" % name, lambda px: px(320, 20) == CYAN)
    return p, ControlLog(stats)


def picture(p):
    image = p.screen.grab()
    return lambda cx, cy: p.pixel(image, cx, cy)


def check_search(screen, program, workdir):
    p, log = start(screen, program, workdir, "search")
    # Today's behaviour: the slide's saturated pixels make the spot.
    slide_middle = check_slide_wins(picture(p))
    start_tracking(p)
    # The noise moves the saturated pixels' box a little from frame to frame.
    near_pointer(p, "tracking the slide", screen_point(SCREEN_QUAD, slide_middle), 12)
    stop_tracking(p)

    # The operator switches the laser off for the search.
    steer(screen, **dict(SLIDE_SCENE, spot_radius=0))
    pressed = time.monotonic()
    p.key("e")
    p.wait_picture("the threshold view", lambda px: px(320, 20) != CYAN)
    check(p.screen.only_window_titled(TITLE) == p.window, "the title changed during the search")
    ended = log.wait_quiet("the search")
    check(ended is not None, "the search changed nothing")
    took = ended - pressed
    check(took < SEARCH_SECONDS, "the search took %.1f s" % took)
    check(log.values("exposure-auto") == [0], "automatic exposure: %r" % log.values("exposure-auto"))
    steps = log.values("exposure")
    check(steps and log.values("gain") == [] and log.values("brightness") == [], "controls set: %r" % log.seen)
    print("ok  search: %d exposure settings in %.2f s (%.0f ms apart), ending at %d"
          % (len(steps), took, log.mean_step_ms("exposure"), steps[-1]), flush=True)
    # Never darker than needed.
    check(steps[-1] == best_exposure(), "the search ended at %d, not %d" % (steps[-1], best_exposure()))
    steer(screen, **SLIDE_SCENE)
    p.wait_picture("the laser back", lambda px: px(LASER[0], 479 - LASER[1]) == GREEN)

    check_clean_threshold(picture(p), "threshold view after the search")
    p.key("space")
    p.wait_picture("the preview", lambda px: px(320, 20) == CYAN)
    check_clean_preview(picture(p), "preview after the search")
    start_tracking(p)
    wait_pointer(p, "tracking the laser alone", expected_pointer((W // 2, H // 2), screen_point(SCREEN_QUAD, LASER)))
    stop_tracking(p)
    p.close_with_keyboard()
    check(p.exit_code() == 0, "exit code")


def check_stops(screen, program, workdir):
    p, log = start(screen, program, workdir, "stops")
    steer(screen, **dict(SLIDE_SCENE, spot_radius=0))

    def stopped_by(what, stop):
        before = log.poll()
        p.key("e")
        log.wait_lines("%s: the search under way" % what, before + 3)
        stop()
        at_stop = log.poll()
        time.sleep(0.6)
        # A change already on its way through the loop may still land.
        check(log.poll() <= at_stop + 1, "%s: the search went on: %r" % (what, log.seen[at_stop:]))
        print("ok  %s stops the search" % what, flush=True)

    stopped_by("E", lambda: p.key("e"))
    p.key("space")
    stopped_by("F12", lambda: p.key("F12"))

    def tab():
        p.key("Tab")
        wait_for("the settings dialog", lambda: p.screen.only_window_titled(SETTINGS_DIALOG))

    stopped_by("Tab", tab)
    dialog = p.screen.only_window_titled(SETTINGS_DIALOG)
    p.screen.xdo("windowactivate", "--sync", dialog)
    p.screen.xdo("key", "Escape")
    wait_for("the dialog closed", lambda: not p.screen.windows_titled(SETTINGS_DIALOG))

    before = log.poll()
    p.key("e")
    log.wait_lines("a search to close in", before + 2)
    p.close_with_keyboard()
    check(p.exit_code() == 0, "exit code after closing during a search")
    print("ok  close during a search", flush=True)


def check_without_controls(screen, program, workdir):
    p, log = start(screen, program, workdir, "no-controls",
                   source="videotestsrc pattern=solid-color foreground-color=0xfff0f0f0")
    before = picture(p)(300, 300)
    p.key("e")
    time.sleep(1.0)
    after = picture(p)
    check(after(320, 20) == CYAN and after(300, 300) == before, "E changed the console of a source without controls")
    check(log.poll() == 0, "controls set: %r" % log.seen)
    p.close_with_keyboard()
    check(p.exit_code() == 0, "exit code")
    print("ok  a source without the controls is left as it was", flush=True)


def run_checks(program, workdir):
    screen = Screen(workdir)
    try:
        check_search(screen, program, workdir)
        check_stops(screen, program, workdir)
        check_without_controls(screen, program, workdir)
    finally:
        screen.close()


if __name__ == "__main__":
    sys.exit(run_driver(__doc__, "lumidart-exposure-e2e-", run_checks))
