"""End-to-end: the Linux program with the virtual camera listing the modes of
real webcams. The capture must run the fastest 640 x 480 mode (or, with
none, the smallest larger one), show the picture and track the spot to
where the mapping puts the spot the picture shows; once tracking ends, the
whole picture is back (a tracking frame holds only the red of the Search
box). A UYVY camera is the virtual one behind a converter; motion JPEG
comes from the camera's own modes and from an encoder behind it.

Usage: python3 -m e2e.x11.webcam_modes_e2e LUMIDART
"""

import os
import sys

from ..harness.checks import check
from ..harness.console import CYAN, SCREEN_QUAD, H, W
from ..harness.display import Screen
from ..harness.expected_cursor import expected_pointer, screen_point
from ..harness.linux_program import Program, click_quad, run_driver, start_tracking, steer, stop_tracking, wait_pointer

# Each source and the mode the virtual camera must run.
CASES = [
    ("webcam-1080p", "lumidartvirtualcam modes=webcam-1080p", "mode YUY2 640x480 30"),
    ("hd-first", "lumidartvirtualcam modes=hd-first", "mode BGRx 640x480 30"),
    ("wide", "lumidartvirtualcam modes=wide", "mode YUY2 1280x720 10"),
    ("uyvy", "lumidartvirtualcam ! videoconvert ! capsfilter caps=video/x-raw,format=UYVY", "mode BGRx 640x480 30"),
    ("webcam-mjpeg", "lumidartvirtualcam modes=webcam-mjpeg", "mode JPEG 640x480 30"),
    # An encoder's pad offers fields its stream never states.
    ("jpegenc", "lumidartvirtualcam ! jpegenc", "mode BGRx 640x480 30"),
]
# Inside every quad the cases click: its pixel tells a whole picture from a
# tracking frame's red.
INSIDE = (240, 200)

SPOTS = [(150, 120), (470, 380)]


def spot_in_picture(p, spot):
    """The spot's centre as the console shows the frame: the box of the
    reddest pixels near where the scene put it. Chroma sharing and scaling
    reshape its edge (the halo's stronger chroma can push an edge pixel
    past the core's red); the cursor must follow what the camera gave."""
    image = p.screen.grab()
    reds = {}
    for row in range(spot[1] - 12, spot[1] + 13):
        for x in range(spot[0] - 12, spot[0] + 13):
            reds[(x, row)] = p.pixel(image, x, 479 - row) >> 16
    top = max(reds.values())
    check(top > 224, "no spot near %r: red %d" % (spot, top))
    xs = [x for (x, row), red in reds.items() if red == top]
    rows = [row for (x, row), red in reds.items() if red == top]
    return (min(xs) + max(xs)) / 2, (min(rows) + max(rows)) / 2


def run_case(screen, program, workdir, modes, source, running):
    directory = os.path.join(workdir, modes)
    os.mkdir(directory)
    stats = os.path.join(directory, "stats.txt")
    screen.env["LUMIDART_VIRTUALCAM_STATS"] = stats
    steer(screen, noise=0, spot_radius=0)
    p = Program(screen, program, directory, source=source)
    p.wait_for_window()
    p.wait_picture("%s: the picture" % modes, lambda px: px(320, 20) == CYAN)
    with open(stats) as f:
        modes_run = [line for line in f.read().splitlines() if line.startswith("mode ")]
    check(modes_run == [running], "%s: the camera ran %r, not %r" % (modes, modes_run, running))
    click_quad(p, SCREEN_QUAD)
    seen = []
    for spot in SPOTS:
        steer(screen, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=4)
        p.wait_picture("%s: the spot at %r" % (modes, spot), lambda px: (px(spot[0], 479 - spot[1]) >> 16) > 224)
        seen.append(spot_in_picture(p, spot))
    check(all(abs(a - b) <= 4 for spot, centre in zip(SPOTS, seen) for a, b in zip(spot, centre)),
          "%s: spots seen at %r, put at %r" % (modes, seen, SPOTS))
    steer(screen, noise=0, spot_radius=0)
    p.wait_picture("%s: the spot gone" % modes, lambda px: (px(SPOTS[-1][0], 479 - SPOTS[-1][1]) >> 16) <= 224)
    inside = p.pixel(p.screen.grab(), INSIDE[0], INSIDE[1])
    check(inside & 0x00FFFF != 0, "%s: no green or blue inside the quad (%06x)" % (modes, inside))
    start_tracking(p)
    previous = (W // 2, H // 2)
    for spot, centre in zip(SPOTS, seen):
        steer(screen, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=4)
        target = screen_point(SCREEN_QUAD, centre)
        wait_pointer(p, "%s: tracking to %r" % (modes, spot), expected_pointer(previous, target))
        previous = target
    steer(screen, noise=0, spot_radius=0)
    stop_tracking(p)
    p.wait_picture("%s: the whole picture after tracking" % modes, lambda px: px(*INSIDE) == inside)
    p.close_with_keyboard()
    check(p.exit_code() == 0, "%s: exit code" % modes)


def run_checks(program, workdir):
    screen = Screen(workdir)
    try:
        for modes, source, running in CASES:
            run_case(screen, program, workdir, modes, source, running)
            print("ok  %s runs %s, picture and tracking" % (modes, running), flush=True)
    finally:
        screen.close()


if __name__ == "__main__":
    sys.exit(run_driver(__doc__, "lumidart-modes-e2e-", run_checks))
