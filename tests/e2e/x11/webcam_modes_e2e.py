#!/usr/bin/env python3
"""End-to-end: the Linux program with the virtual camera listing the modes of
real webcams. The capture must run the fastest 640 x 480 mode (or, with
none, the smallest larger one), show the picture and track the spot to
where the mapping puts the spot the picture shows.

Usage: webcam_modes_e2e.py LUMIDART
"""

import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_e2e as e2e  # noqa: E402
from run_e2e import check, wait_for  # noqa: E402

# Each list and the mode it must run.
CASES = [
    ("webcam-1080p", "mode YUY2 640x480 30"),
    ("hd-first", "mode BGRx 640x480 30"),
    ("wide", "mode YUY2 1280x720 10"),
]

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


def run_case(screen, program, workdir, modes, running):
    directory = os.path.join(workdir, modes)
    os.mkdir(directory)
    stats = os.path.join(directory, "stats.txt")
    screen.env["LUMIDART_VIRTUALCAM_STATS"] = stats
    e2e.steer(screen, noise=0, spot_radius=0)
    p = e2e.Program(screen, program, directory, source="lumidartvirtualcam modes=" + modes)
    p.wait_for_window()
    p.wait_picture("%s: the picture" % modes, lambda px: px(320, 20) == e2e.CYAN)
    with open(stats) as f:
        modes_run = [line for line in f.read().splitlines() if line.startswith("mode ")]
    check(modes_run == [running], "%s: the camera ran %r, not %r" % (modes, modes_run, running))
    e2e.click_quad(p, e2e.SCREEN_QUAD)
    seen = []
    for spot in SPOTS:
        e2e.steer(screen, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=4)
        p.wait_picture("%s: the spot at %r" % (modes, spot), lambda px: (px(spot[0], 479 - spot[1]) >> 16) > 224)
        seen.append(spot_in_picture(p, spot))
    check(all(abs(a - b) <= 4 for spot, centre in zip(SPOTS, seen) for a, b in zip(spot, centre)),
          "%s: spots seen at %r, put at %r" % (modes, seen, SPOTS))
    e2e.steer(screen, noise=0, spot_radius=0)
    e2e.start_tracking(p)
    previous = (e2e.W // 2, e2e.H // 2)
    for spot, centre in zip(SPOTS, seen):
        e2e.steer(screen, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=4)
        target = e2e.screen_point(e2e.SCREEN_QUAD, centre)
        e2e.wait_pointer(p, "%s: tracking to %r" % (modes, spot), e2e.expected_pointer(previous, target))
        previous = target
    e2e.stop_tracking(p)
    p.close_with_keyboard()
    check(p.exit_code() == 0, "%s: exit code" % modes)


def run_checks(program, workdir):
    screen = e2e.Screen(workdir)
    try:
        for modes, running in CASES:
            run_case(screen, program, workdir, modes, running)
            print("ok  %s runs %s, picture and tracking" % (modes, running), flush=True)
    finally:
        screen.close()


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    program = os.path.abspath(sys.argv[1])
    return e2e.run_in_scratch("lumidart-modes-e2e-", lambda workdir: run_checks(program, workdir), "all passed")


if __name__ == "__main__":
    sys.exit(main())
