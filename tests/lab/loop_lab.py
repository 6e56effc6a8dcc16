"""In the lab guest: exact tracking through a kernel driver. vivid loops
its HDMI output into its HDMI capture; the virtual camera's scene goes in
through v4l2sink, the program reads the capture node with v4l2src, and
the cursor must land where the mapping puts the spot the console shows.
Then the camera that comes back: vivid's own disconnect acts as a USB
unplug while the program previews, and vivid returns once every handle on
the device is closed; the picture must move again and tracking land where
it should, without a restart.

Usage (in the guest, from tests/): python3 -m lab.loop_lab LUMIDART
"""

import os
import re
import subprocess
import sys
import time

from e2e.harness.checks import Failure, check, wait_for
from e2e.harness.console import SCREEN_QUAD, H, W
from e2e.harness.display import Screen, stop
from e2e.harness.expected_cursor import expected_pointer, screen_point
from e2e.harness.linux_program import Program, click_quad, start_tracking, steer, stop_tracking, wait_pointer
from e2e.x11.webcam_modes_e2e import spot_in_picture

from .guest import load_vivid, press, reconnected, run_scenario, running_mode, set_ctrl, v4l2

SPOTS = [(150, 120), (470, 380), (250, 300)]


def dv_timings_640x480p60(device):
    """The index of 640 x 480 progressive at 60 Hz in the device's list."""
    index, width, height = None, None, None
    for line in v4l2(device, "--list-dv-timings").splitlines():
        m = re.match(r"\s*Index: (\d+)", line)
        if m:
            index = int(m.group(1))
        m = re.search(r"Active width: (\d+)", line)
        if m:
            width = int(m.group(1))
        m = re.search(r"Active height: (\d+)", line)
        if m:
            height = int(m.group(1))
        if "Frame format: progressive" in line and (width, height) == (640, 480):
            return index
    raise Failure("no 640x480p60 timings on " + device)


def looped_vivid():
    """(capture node, output node) of a vivid whose output loops into its
    capture, both at 640 x 480p60 YUYV, with no text over the picture."""
    capture, output = load_vivid(node_types="0x101", num_inputs=1, input_types="0x3", num_outputs=1,
                                 output_types="0x1")
    for node, side in ((capture, ""), (output, "-out")):
        v4l2(node, "--set-dv-bt-timings", "index=%d" % dv_timings_640x480p60(node))
        v4l2(node, "--set-fmt-video%s=width=640,height=480,pixelformat=YUYV" % side)
    set_ctrl(capture, osd_text_mode=2, loop_video=1)
    return capture, output


def feed(screen, output):
    """The virtual camera's scene, steered through the screen's control file, into the output node."""
    return subprocess.Popen(
        ["gst-launch-1.0", "-q", "lumidartvirtualcam", "modes=webcam-1080p", "!",
         "capsfilter", "caps=video/x-raw,format=YUY2,width=640,height=480", "!", "v4l2sink", "sync=false",
         "device=" + output],
        env=dict(screen.env, LUMIDART_VIRTUALCAM_CONTROL=os.path.join(screen.workdir, "control.txt")),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def track_spots(p, spots, previous=(W // 2, H // 2)):
    """Each spot in the picture, then tracked to where the mapping puts what
    the console showed; returns where the cursor rests."""
    seen = []
    for spot in spots:
        steer(p.screen, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=4)
        p.wait_picture("the spot at %r" % (spot,), lambda px: (px(spot[0], 479 - spot[1]) >> 16) > 224)
        seen.append(spot_in_picture(p, spot))
    start_tracking(p)
    for spot, centre in zip(spots, seen):
        steer(p.screen, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=4)
        target = screen_point(SCREEN_QUAD, centre)
        wait_pointer(p, "tracking to %r" % (spot,), expected_pointer(previous, target))
        previous = target
    steer(p.screen, noise=0, spot_radius=0)
    stop_tracking(p, picture=False)
    return previous


def check_tracking(screen, program, workdir, capture):
    p = Program(screen, program, workdir, source="v4l2src device=" + capture)
    p.wait_for_window(retry=False)
    steer(screen, noise=0, spot_radius=0)
    click_quad(p, SCREEN_QUAD)
    track_spots(p, SPOTS)
    mode = running_mode(capture)
    check(mode[:2] == (640, 480), "the capture runs %r" % (mode,))
    p.close_with_keyboard()
    p.exit_code()
    return "%d spots through %s %dx%d at %g" % (len(SPOTS), mode[3], mode[0], mode[1], mode[2])


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
        timed.run("loop: tracking through the driver", check_tracking, screen, program, workdir, capture)
        timed.run("recovery: back after an unplug", check_recovery, screen, program, workdir, capture, output, feeder)
    finally:
        stop(feeder[0])
        screen.close()


if __name__ == "__main__":
    sys.exit(run_scenario(checks))
