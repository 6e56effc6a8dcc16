"""In the lab guest: lumidart.exe under Wine on two vivid webcams, read
through Wine's own capture filter, with nothing registered under the fixed
class id. It must list both, show the chosen device's picture the right
way round, switch with C and remember the choice, track the device's red
square exactly, and come back by itself from a disconnect, about which
Wine's filter says nothing.

Usage (in the guest, from tests/):
    python3 -m lab.wine_lab LUMIDART.EXE CAMERA.DLL DRIVER.EXE PREFIX
"""

import argparse
import shutil
import subprocess
import sys
import tempfile
import time

from e2e.harness.checks import PATIENCE, check, wait_for
from e2e.harness.expected_cursor import resting_place
from e2e.harness.wine_session import (OPERATOR_BYTES, OPERATOR_QUAD, Fault, Session, check_settings,
                                      exact_screen_point, prepare_run, start_console)

from .guest import load_vivid, press, reconnected, run_scenario, set_ctrl
from .webcam_lab import BARS

# vivid's test patterns: colour bars left to right at 75%, the same bars
# top to bottom at 100%, and a green field under which the square the
# pattern generator can show turns red: the laser, 256 pixels wide at the
# centre of the picture.
VERTICAL_BARS, HORIZONTAL_BARS, GREEN = 0, 3, 8
SQUARE_CENTRE = (319.5, 239.5)


def shows(pattern):
    """A check of the console picture, at(x, y) giving client pixels, for
    the colour bars of pattern, each in its place."""
    level = 191 if pattern == VERTICAL_BARS else 255
    places = [(80 * i + 40, 300) if pattern == VERTICAL_BARS else (100, 60 * i + 30) for i in range(8)]

    def holds(at):
        return all(all(abs(c - level * o) <= 24 for c, o in zip(at(*place), on)) for place, on in zip(places, BARS))
    return holds


def pattern(device, value, square=0):
    set_ctrl(device, test_pattern=value, show_square=square)


def check_list(s):
    r = subprocess.run(["wine", s.args.program, "--list-cameras"], env=s.env, cwd=s.work, capture_output=True,
                       text=True, timeout=120 * PATIENCE)
    code, lines = r.returncode, [line.rstrip("\r").split("\t") for line in r.stdout.splitlines()]
    check(code == 0 and [line[:2] for line in lines] == [["1", "vivid"], ["2", "vivid (2)"]],
          "--list-cameras: exit %d, %r" % (code, lines))
    return "; ".join(" ".join(line) for line in lines)


def check_choice(s, cwd, console):
    """console: filled with the program left running and its window."""
    program, win = start_console(s, cwd)
    s.wait_picture("the first webcam's bars, left to right", win, "first", shows(VERTICAL_BARS), timeout=30)
    began = time.monotonic()
    s.do("key c")
    s.wait_picture("the second webcam's bars, top to bottom, after C", win, "second", shows(HORIZONTAL_BARS))
    switched = time.monotonic() - began
    s.close(program)
    console["program"], console["win"] = program, win = start_console(s, cwd)
    s.wait_picture("the remembered webcam at the next start", win, "remembered", shows(HORIZONTAL_BARS), timeout=30)
    return "640x480 pictures the right way round, C %.1f s, the second webcam remembered" % switched


def check_tracking(s, console, device):
    """console: its window replaced by the one F12 brings back."""
    win = console["win"]
    pattern(device, GREEN, square=1)
    s.minimise()
    screen = win["screen"]
    target = resting_place((screen[0] // 2, screen[1] // 2), exact_screen_point(OPERATOR_QUAD, SQUARE_CENTRE, screen))
    s.wait_cursor("the cursor on the square's centre at %r" % (target,), target)
    console["win"] = s.restore_with_f12()
    return "cursor at %r, exact" % (target,)


def check_return(s, win, device):
    """Disconnected under the running program: it lets the device go once
    frames stop, and opens it again when vivid is back."""
    pattern(device, VERTICAL_BARS)
    s.wait_picture("the bars before the disconnect", win, "before", shows(VERTICAL_BARS))
    press(device, "disconnect")
    gone = time.monotonic()
    wait_for("vivid back once the program let it go", reconnected, timeout=30, interval=0.5)
    released = time.monotonic() - gone
    pattern(device, HORIZONTAL_BARS)
    s.wait_picture("the device's picture again", win, "back", shows(HORIZONTAL_BARS), timeout=30)
    return "released %.1f s after the disconnect, the picture back %.1f s after it" % (released,
                                                                                      time.monotonic() - gone)


def checks(program, workdir, timed, camera, driver, prefix):
    # NOTE: Wine maps images from the 9p root wrongly; the programs run
    # from copies in tmpfs.
    shm = tempfile.mkdtemp(dir="/dev/shm")
    program, camera, driver = (shutil.copy(f, shm) for f in (program, camera, driver))
    args = argparse.Namespace(program=program, camera=camera, driver=driver, prefix=prefix, work=workdir)
    webcams = load_vivid(n_devs=2, node_types="0x1,0x1", input_types="0x0,0x0")
    for device, bars in zip(webcams, (VERTICAL_BARS, HORIZONTAL_BARS)):
        set_ctrl(device, osd_text_mode=2)
        pattern(device, bars)
    with Session(args, "wine") as s:
        # A persistent wineserver keeps Wine's services between starts; the
        # first start in the guest loads them all.
        subprocess.run(["wineserver", "-p"], env=s.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
        started = time.monotonic()
        s.register_camera(False)
        print("wine: first start %.0f s" % (time.monotonic() - started), flush=True)
        if not timed.run("wine: both webcams listed", check_list, s):
            return
        cwd, console = prepare_run(s, "console"), {}
        if not timed.run("wine: the chosen webcam, C and the remembered choice", check_choice, s, cwd, console):
            return
        timed.run("wine: tracking the webcam's red square", check_tracking, s, console, webcams[1])
        timed.run("wine: a webcam disconnected under the program", check_return, s, console["win"], webcams[1])
        timed.run("wine: closed", check_close, s, console["program"], cwd)


def check_close(s, program, cwd):
    s.close(program)
    notes = Fault("close")
    check_settings(cwd, notes, OPERATOR_BYTES)
    return "exit 0, " + ", ".join(notes.outcome)

if __name__ == "__main__":
    sys.exit(run_scenario(checks))
