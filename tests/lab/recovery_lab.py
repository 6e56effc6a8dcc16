"""In the lab guest: the camera that comes back. vivid's own disconnect
acts as a USB unplug of the looped device while the program previews; vivid
returns once every handle on the device is closed. The picture must move
again and tracking land where it should, without a restart.

Usage (in the guest, from tests/): python3 -m lab.recovery_lab LUMIDART
"""

import os
import sys
import time

from e2e.harness.checks import Failure, check, wait_for
from e2e.harness.console import SCREEN_QUAD
from e2e.harness.display import Screen, stop
from e2e.harness.linux_program import Program, click_quad, steer

from .guest import press, reconnected, run_scenario
from .loop_lab import SPOTS, feed, looped_vivid, track_spots


def handles(pid, device):
    count = 0
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            count += os.readlink("/proc/%d/fd/%s" % (pid, fd)) == device
        except OSError:
            pass
    return count


def check_recovery(screen, program, workdir, capture, output, feeder):
    """An unplug while previewing: once the device is back, the picture
    moves again and tracking lands where it should, without a restart."""
    workdir = os.path.join(workdir, "recovery")
    os.mkdir(workdir)
    p = Program(screen, program, workdir, source="v4l2src device=" + capture)
    p.wait_for_window(retry=False)
    steer(screen, noise=0, spot_radius=0)
    click_quad(p, SCREEN_QUAD)
    first = SPOTS[0]
    steer(screen, noise=0, spot_x=first[0], spot_y=first[1], spot_radius=4)
    p.wait_picture("the spot before the unplug", lambda px: (px(first[0], 479 - first[1]) >> 16) > 224)
    press(capture, "disconnect")
    feeder[0].wait(30)
    try:
        wait_for("the device back", reconnected, timeout=10)
    except Failure as failure:
        raise Failure("%s: the program holds %d handles on %s" % (
            failure, handles(p.process.pid, capture), capture)) from None
    feeder[0] = feed(screen, output)
    back = time.monotonic()
    second = SPOTS[1]
    steer(screen, noise=0, spot_x=second[0], spot_y=second[1], spot_radius=4)
    p.wait_picture("the picture moving again", lambda px: (px(second[0], 479 - second[1]) >> 16) > 224)
    moving = time.monotonic() - back
    check(p.process.poll() is None, "the program ended")
    track_spots(p, SPOTS[1:])
    p.close_with_keyboard()
    p.exit_code()
    return "the picture moved %.0f s after the device's return; tracking exact again" % moving


def checks(program, workdir, timed):
    capture, output = looped_vivid()
    screen = Screen(workdir)
    feeder = [feed(screen, output)]
    try:
        timed.run("recovery: back after an unplug", check_recovery, screen, program, workdir, capture, output, feeder)
    finally:
        stop(feeder[0])
        screen.close()


if __name__ == "__main__":
    sys.exit(run_scenario(checks))
