"""End-to-end tests of the Linux program on its own Xvfb with openbox.

Usage: python3 -m e2e.x11.run_e2e LUMIDART
                                      run every check
       python3 -m e2e.x11.run_e2e LUMIDART --screenshots DIR
                                      write DIR/preview.png and DIR/threshold.png

The program runs with the virtual camera, steered through its control file;
the checks read the screen (xwd), the pointer, window states and the
settings file. Standard library only.
"""

import os
import sys
import time

from ..harness.checks import Failure, check, run_in_scratch, wait_for
from ..harness.console import (BLACK, BLUE, CYAN, GREEN, H, SCREEN_QUAD, SETTINGS_DIALOG, SETTINGS_FILE, SPOT_CORE,
                               TITLE, W, WHITE, read_corners)
from ..harness.display import Screen
from ..harness.expected_cursor import expected_pointer, resting_place, screen_point, self_check_expectations
from ..harness.linux_program import (Program, click_quad, open_settings_dialog, start_tracking, steer, stop_tracking,
                                     wait_pointer)

# Layout of the settings dialog (pixels in its window).
DIALOG_ROW0_TOP = 10
DIALOG_ROW_HEIGHT = 26
DIALOG_BIG_STEP_UP_X = 10 + 150 + 3 * 34 + 80


# --- Checks ----------------------------------------------------------------

def check_preview(p):
    steer(p.screen, noise=0, spot_x=500, spot_y=100, spot_radius=4)
    p.screen.xdo("mousemove", 5, 5)
    # The spot at frame row 100 is picture line 379.
    p.wait_picture("the camera picture with overlays", lambda px: (
        px(500, 379) == SPOT_CORE and px(320, 20) == CYAN and px(320, 470) == CYAN and px(10, 240) == CYAN
        and px(630, 240) == CYAN and px(40, 439) == BLUE and px(600, 39) == BLUE and px(300, 439) == BLUE
        and px(40, 200) == BLUE and px(600, 300) == BLUE and px(321, 100) != CYAN))
    # The magnifier doubles the block under the cursor: at (320, 100) the
    # crosshair column becomes two columns wide.
    p.screen.xdo("mousemove", p.x + 320, p.y + 100)
    p.wait_picture("the magnifier", lambda px: (
        px(320, 90) == CYAN and px(321, 90) == CYAN and px(319, 90) != CYAN and px(322, 90) != CYAN
        and px(321, 120) != CYAN))
    p.screen.xdo("mousemove", 5, 5)
    p.wait_picture("no magnifier", lambda px: px(321, 90) != CYAN)


def check_threshold(p):
    p.key("space")
    # Inside the Search box: green where red exceeds the row's level, black
    # elsewhere; outside it the camera picture; the outline on top.
    p.wait_picture("the threshold view", lambda px: (
        px(500, 379) == GREEN and px(300, 300) == BLACK and px(200, 100) == BLACK and px(10, 10) not in (BLACK, GREEN)
        and px(40, 439) == BLUE and px(165, 265) == BLACK))
    # Button squares while buttons are held; the press sets no corner (in
    # Preview it would make P1 (630, 10)).
    p.screen.xdo("mousemove", p.x + 630, p.y + 470)
    p.screen.xdo("mousedown", 1)
    p.screen.xdo("mousedown", 3)
    try:
        p.wait_picture("the left and right button squares", lambda px: (
            px(150, 250) == BLUE and px(181, 281) == BLUE and px(165, 265) == WHITE and px(182, 265) == BLACK
            and px(450, 250) == BLUE and px(465, 265) == WHITE and px(315, 265) == BLACK))
        p.screen.xdo("mousedown", 2)
        p.wait_picture("the middle button square too", lambda px: (
            px(300, 250) == BLUE and px(331, 281) == BLUE and px(315, 265) == WHITE and px(165, 265) == WHITE))
    finally:
        for button in (2, 3, 1):
            p.screen.xdo("mouseup", button)
    p.screen.xdo("mousemove", 5, 5)
    p.wait_picture("the squares gone", lambda px: all(px(x, 265) == BLACK for x in (165, 315, 465)))
    p.key("space")
    p.wait_picture("the preview again", lambda px: (
        px(300, 300) not in (BLACK, GREEN) and px(320, 20) == CYAN and px(600, 439) == BLUE and px(630, 469) != BLUE))


def check_corner_click(p):
    # Client (100, 100) is frame (100, 380), the upper-left corner; the
    # outline passes one line above the click.
    p.click(100, 100)
    p.screen.xdo("mousemove", 5, 5)
    p.wait_picture("the outline through the new corner", lambda px: (
        px(100, 99) == BLUE and px(40, 39) != BLUE and px(40, 439) == BLUE))


def check_tracking(p):
    click_quad(p, SCREEN_QUAD)
    # Far from the screen centre, so the first move is not smoothed.
    a = (150, 120)
    steer(p.screen, noise=0, spot_x=a[0], spot_y=a[1], spot_radius=3)
    p.wait_picture("the spot at A", lambda px: px(a[0], 479 - a[1]) == SPOT_CORE)
    start_tracking(p)
    at_a = screen_point(SCREEN_QUAD, a)
    wait_pointer(p, "tracking to A", expected_pointer((W // 2, H // 2), at_a))
    # A far jump, then a small step that the smoothing shortens.
    b = (470, 380)
    steer(p.screen, noise=0, spot_x=b[0], spot_y=b[1], spot_radius=3)
    at_b = screen_point(SCREEN_QUAD, b)
    wait_pointer(p, "tracking to B", expected_pointer(at_a, at_b))
    c = (b[0] + 2, b[1] + 2)
    at_c = screen_point(SCREEN_QUAD, c)
    check(all(0 < abs(t - s) <= 8 for t, s in zip(at_c, at_b)), "C is not a small step from B")
    steer(p.screen, noise=0, spot_x=c[0], spot_y=c[1], spot_radius=3)
    wait_pointer(p, "smoothed step to C", expected_pointer(resting_place(at_a, at_b), at_c))
    # Space in tracking changes nothing visible; F12 brings the console back.
    stop_tracking(p)
    return c


def check_settings_dialog(p, spot):
    dialog = open_settings_dialog(p)
    p.key("Tab")
    time.sleep(0.5)
    check(len(p.screen.windows_titled(SETTINGS_DIALOG)) == 1, "a second Tab opened another dialog")
    # The console keeps working while the dialog is open.
    p.key("space")
    p.wait_picture("the threshold view under the dialog", lambda px: px(500, 300) == BLACK)
    p.key("space")
    p.wait_picture("the preview under the dialog", lambda px: px(500, 300) not in (BLACK, GREEN))
    # Cancel discards a step: the spot stays where it is.
    left, top, width, height = p.screen.geometry(dialog)
    p.screen.xdo("mousemove", left + DIALOG_BIG_STEP_UP_X + 15, top + DIALOG_ROW0_TOP + 10, "click", 1)
    p.screen.xdo("mousemove", left + width - 50, top + height - 20, "click", 1)
    wait_for("the dialog closed by Cancel", lambda: not p.screen.windows_titled(SETTINGS_DIALOG))
    time.sleep(0.5)
    p.wait_picture("the spot where it was", lambda px: (
        px(spot[0], 479 - spot[1]) == SPOT_CORE and px(spot[0] + 10, 479 - spot[1]) != SPOT_CORE))
    dialog = open_settings_dialog(p, "the settings dialog again")
    # Five big steps on each of the first two rows (spot-x, spot-y) move the
    # spot 50 columns right and 50 rows up, once OK is pressed. Both axes
    # move far, so the cursor lands there unsmoothed even if a frame from
    # before the change is tracked first.
    dx, dy = p.screen.origin(dialog)
    for row in range(2):
        for _ in range(5):
            p.screen.xdo("mousemove", dx + DIALOG_BIG_STEP_UP_X + 15,
                         dy + DIALOG_ROW0_TOP + row * DIALOG_ROW_HEIGHT + 10, "click", 1)
    time.sleep(0.3)
    check(p.screen.wm_state(dialog) == "Normal", "the dialog closed on a step button")
    # Minimising presses OK: the dialog goes, its settings apply, tracking starts.
    moved = (spot[0] + 50, spot[1] + 50)
    start_tracking(p)
    wait_for("the dialog closed by the minimise", lambda: not p.screen.windows_titled(SETTINGS_DIALOG))
    wait_pointer(p, "tracking the spot moved by the dialog",
                 expected_pointer((W // 2, H // 2), screen_point(SCREEN_QUAD, moved)))


def check_second_instance(p, program, workdir):
    # The console is minimised (tracking); a second start restores it and ends.
    check(p.state() == "Iconic", "not tracking before the second start")
    second_dir = os.path.join(workdir, "second")
    os.mkdir(second_dir)
    second = Program(p.screen, program, second_dir)
    check(second.exit_code() == 0, "the second instance's exit code")
    wait_for("the first console restored", lambda: p.state() == "Normal")
    check(len(p.screen.windows_titled(TITLE)) == 1, "the second instance made a window")
    check(not os.path.exists(os.path.join(second_dir, SETTINGS_FILE)), "the second instance wrote settings")
    p.wait_picture("the preview after the second start", lambda px: px(320, 20) == CYAN)


def check_close_with_dialog_open(p):
    open_settings_dialog(p)
    p.close_with_keyboard()
    check(p.exit_code() == 0, "exit code after closing with the dialog open")
    check(not p.screen.windows_titled(SETTINGS_DIALOG), "the dialog outlived the program")


def check_no_source(screen, program, workdir):
    directory = os.path.join(workdir, "nosource")
    os.mkdir(directory)
    started = time.monotonic()
    p = Program(screen, program, directory, source="some-nonexistent-element")
    check(p.exit_code() == 0, "exit code without a source")
    check(time.monotonic() - started < 5, "no quick end without a source")
    check(not os.path.exists(os.path.join(directory, SETTINGS_FILE)), "settings written without a source")


def check_restart_keeps_corners(screen, program, directory):
    p = Program(screen, program, directory)
    p.wait_for_window()
    steer(screen, noise=0, spot_x=320, spot_y=240)
    p0 = SCREEN_QUAD[0]
    # The saved lower-left corner comes back as the outline's start.
    p.wait_picture("the saved quad", lambda px: px(p0[0], 479 - p0[1]) == BLUE and px(40, 439) != BLUE)
    p.close_with_keyboard()
    check(p.exit_code() == 0, "exit code after a plain close")
    check(read_corners(directory) == SCREEN_QUAD, "corners after the second run")


def run_checks(program, workdir):
    self_check_expectations()
    screen = Screen(workdir)
    try:
        directory = os.path.join(workdir, "run")
        os.mkdir(directory)
        steer(screen, noise=0)
        p = Program(screen, program, directory)
        steps = [
            ("start", p.wait_for_window),
            ("preview", lambda: check_preview(p)),
            ("threshold view", lambda: check_threshold(p)),
            ("corner click", lambda: check_corner_click(p)),
        ]
        for name, step in steps:
            step()
            print("ok  " + name, flush=True)
        spot = check_tracking(p)
        print("ok  tracking and F12", flush=True)
        check_settings_dialog(p, spot)
        print("ok  settings dialog (Tab, second Tab, Cancel, OK on minimise)", flush=True)
        check_second_instance(p, program, workdir)
        print("ok  second instance", flush=True)
        check_close_with_dialog_open(p)
        check(read_corners(directory) == SCREEN_QUAD, "corners after the first run: %s" % read_corners(directory))
        print("ok  close with the dialog open, settings file", flush=True)
        check_no_source(screen, program, workdir)
        print("ok  no source", flush=True)
        check_restart_keeps_corners(screen, program, directory)
        print("ok  restart with the saved corners", flush=True)
    except Failure:
        # What the screen showed when a check failed, for a look afterwards.
        if os.environ.get("LUMIDART_E2E_FAILURE_SHOT"):
            screen.save_png(os.environ["LUMIDART_E2E_FAILURE_SHOT"])
        raise
    finally:
        screen.close()


def make_screenshots(program, workdir, out):
    screen = Screen(workdir)
    try:
        directory = os.path.join(workdir, "run")
        os.mkdir(directory)
        steer(screen, noise=6, spot_x=420, spot_y=300, spot_radius=4)
        p = Program(screen, program, directory)
        p.wait_for_window()
        click_quad(p, SCREEN_QUAD)
        p.wait_picture("the spot", lambda px: px(420, 179) == SPOT_CORE)
        # The magnifier over the spot.
        p.screen.xdo("mousemove", p.x + 420, p.y + 179)
        time.sleep(0.5)
        os.makedirs(out, exist_ok=True)
        screen.save_png(os.path.join(out, "preview.png"), (640, 480, p.x, p.y))
        p.key("space")
        p.screen.xdo("mousemove", 5, 5)
        p.wait_picture("the threshold view", lambda px: px(420, 179) == GREEN)
        time.sleep(0.3)
        screen.save_png(os.path.join(out, "threshold.png"), (640, 480, p.x, p.y))
        p.close_with_keyboard()
        check(p.exit_code() == 0, "exit code")
    finally:
        screen.close()


def main():
    if len(sys.argv) not in (2, 4) or (len(sys.argv) == 4 and sys.argv[2] != "--screenshots"):
        print(__doc__, file=sys.stderr)
        return 2
    program = os.path.abspath(sys.argv[1])
    if len(sys.argv) == 4:
        return run_in_scratch("lumidart-e2e-", lambda workdir: make_screenshots(
            program, workdir, os.path.abspath(sys.argv[3])), "all passed")
    return run_in_scratch("lumidart-e2e-", lambda workdir: run_checks(program, workdir), "all passed")


if __name__ == "__main__":
    sys.exit(main())
