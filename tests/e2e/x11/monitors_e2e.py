"""End-to-end: the Linux program on desktops of several monitors (RandR
monitors on Xvfb), and on screens that change while it runs.

Usage: python3 -m e2e.x11.monitors_e2e LUMIDART

Each layout checks where the console opens and where the pointer lands for
a still laser spot, computed independently for the target monitor and
offset by its origin.
"""

import os
import sys

from ..harness.checks import Failure, check
from ..harness.console import SCREEN_QUAD, SPOT_CORE, write_corners
from ..harness.expected_cursor import expected_pointer, resting_place, screen_point
from ..harness.linux_program import (Program, on_screen, run_driver, start_tracking, steer, stop_tracking,
                                     wait_pointer)

SPOT = (150, 120)
LAPTOP = (1280, 1024)
PROJECTOR = (1024, 768)


def resting(monitor, start=None):
    """Where the smoothed cursor (monitor pixels) comes to rest for the
    still spot, starting from start (default the monitor's centre)."""
    width, height = monitor[2:]
    return resting_place(start or (width // 2, height // 2), screen_point(SCREEN_QUAD, SPOT, (width, height)))


def pointer_on(monitor, start=None):
    """The desktop pixel the injected move for the resting cursor names."""
    left, top, width, height = monitor
    return expected_pointer(start or (width // 2, height // 2), screen_point(SCREEN_QUAD, SPOT, (width, height)),
                            (width, height), (left, top))


def set_monitors(screen, monitors, primary):
    """monitors: {name: (left, top, width, height)}; the primary one takes
    the server's only output, the others none."""
    for name, (left, top, width, height) in monitors.items():
        output = "screen" if name == primary else "none"
        label = ("*" if name == primary else "") + name
        screen.run(["xrandr", "--setmonitor", label, "%d/300x%d/200+%d+%d" % (width, height, left, top), output])
    listed = screen.run(["xrandr", "--listmonitors"])
    check(all(name in listed for name in monitors), "monitors not set up:\n" + listed)
    return listed


def monitor_number(listing, name):
    """Where the server lists a monitor, counting from 1."""
    for line in listing.splitlines()[1:]:
        number, rest = line.split(":", 1)
        if rest.split()[0].lstrip("+*") == name:
            return int(number) + 1
    raise Failure("no monitor %s in\n%s" % (name, listing))


def start_program(screen, program, workdir, label, args=(), monitor=None):
    directory = os.path.join(workdir, label)
    os.mkdir(directory)
    write_corners(directory, SCREEN_QUAD)
    steer(screen, noise=0, spot_x=SPOT[0], spot_y=SPOT[1], spot_radius=3)
    p = Program(screen, program, directory, args=args)
    p.wait_for_window(monitor=monitor)
    p.wait_picture("the spot", lambda px: px(SPOT[0], 479 - SPOT[1]) == SPOT_CORE)
    return p


def track_on(p, monitor, what):
    start_tracking(p)
    wait_pointer(p, what, pointer_on(monitor))
    stop_tracking(p)


def finish(p, what):
    p.close_with_keyboard()
    check(p.exit_code() == 0, what + ": exit code")


def with_screen(workdir, label, size, body):
    directory = os.path.join(workdir, label)
    os.mkdir(directory)
    on_screen(directory, label, lambda screen: body(screen, directory), size=size)


# Static layouts: (what, screen size, monitors, primary, runs); each run is
# (command-line arguments given the server's monitor listing, the monitor
# the console and the pointer must land on, whether to track).
WIDE = (LAPTOP[0] + PROJECTOR[0], LAPTOP[1])
RIGHT = {"laptop": (0, 0) + LAPTOP, "projector": (LAPTOP[0], 0) + PROJECTOR}
LEFT = {"projector": (0, 0) + PROJECTOR, "laptop": (PROJECTOR[0], 0) + LAPTOP}
STACKED = {"laptop": (0, 0) + LAPTOP, "projector": (0, LAPTOP[1]) + PROJECTOR}
LAYOUTS = [
    ("laptop primary, projector to its right", WIDE, RIGHT, "laptop", [
        (lambda listing: (), "laptop", True),
        (lambda listing: ("--monitor", str(monitor_number(listing, "projector"))), "projector", True)]),
    # The output's name picks the monitor it belongs to.
    ("projector primary", WIDE, RIGHT, "projector", [
        (lambda listing: (), "projector", True),
        (lambda listing: ("--monitor=screen",), "projector", False)]),
    ("projector to the left", WIDE, LEFT, "laptop", [
        (lambda listing: ("--monitor", "projector"), "projector", True),
        (lambda listing: (), "laptop", True)]),
    ("stacked vertically", (LAPTOP[0], LAPTOP[1] + PROJECTOR[1]), STACKED, "laptop", [
        (lambda listing: ("--monitor=projector",), "projector", True)]),
]


def check_layout(program, workdir, layout):
    what, size, monitors, primary, runs = layout

    def body(screen, directory):
        listing = set_monitors(screen, monitors, primary)
        for number, (args, target, track) in enumerate(runs):
            monitor = monitors[target]
            p = start_program(screen, program, directory, "run%d" % number, args=args(listing), monitor=monitor)
            if track:
                track_on(p, monitor, "%s: tracking on the %s" % (what, target))
            finish(p, what)

    with_screen(workdir, what, size, body)


def check_monitor_added(program, workdir):
    laptop = (0, 0) + LAPTOP
    projector = (LAPTOP[0], 0) + PROJECTOR

    def body(screen, directory):
        set_monitors(screen, {"laptop": laptop}, "laptop")
        # Asked for before it is connected: one line, then the primary.
        p = start_program(screen, program, directory, "later", args=("--monitor", "projector"), monitor=laptop)
        track_on(p, laptop, "the laptop while the projector is missing")
        set_monitors(screen, {"projector": projector}, None)
        track_on(p, projector, "the projector connected after the start")
        finish(p, "monitor added")
        lines = [line for line in p.errors().splitlines() if "projector" in line]
        check(len(lines) == 1, "messages about the missing monitor: %s" % lines)

    with_screen(workdir, "a monitor added between two trackings", (LAPTOP[0] + PROJECTOR[0], LAPTOP[1]), body)


def check_unknown_monitor(program, workdir):
    def body(screen, directory):
        p = start_program(screen, program, directory, "unknown", args=("--monitor", "HDMI-9"),
                          monitor=(0, 0) + LAPTOP)
        finish(p, "unknown monitor")
        check(p.errors().count("HDMI-9") == 1, "the unknown monitor not reported once:\n" + p.errors())

    with_screen(workdir, "an unknown monitor", LAPTOP, body)


def check_resized_while_tracking(program, workdir):
    def body(screen, directory):
        before = (0, 0) + LAPTOP
        p = start_program(screen, program, directory, "resize", monitor=before)
        start_tracking(p)
        wait_pointer(p, "tracking on 1280 x 1024", pointer_on(before))
        # xrandr shrinks the screen, then fails to keep the larger mode.
        screen.run(["xrandr", "--fb", "1024x768"], check_status=False)
        check("1024x768 pixels" in screen.run(["xdpyinfo"]), "the screen was not resized")
        after = (0, 0, 1024, 768)
        wait_pointer(p, "tracking on 1024 x 768 at once", pointer_on(after, start=resting(before)))
        stop_tracking(p)
        finish(p, "resized")

    with_screen(workdir, "a screen resized during tracking", LAPTOP, body)


def run_checks(program, workdir):
    for layout in LAYOUTS:
        check_layout(program, workdir, layout)
    for scenario in (check_monitor_added, check_unknown_monitor, check_resized_while_tracking):
        scenario(program, workdir)


if __name__ == "__main__":
    sys.exit(run_driver(__doc__, "lumidart-monitors-", run_checks))
