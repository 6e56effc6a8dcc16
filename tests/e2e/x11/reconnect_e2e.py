"""A camera unplugged and plugged back, end to end on its own Xvfb with
openbox: the virtual camera's `unplugged` key fails its stream and keeps it
from opening, as a pulled cable does. The console keeps its last picture;
once the camera is back, picture and tracking resume by themselves, in the
mode the program was in, with the corners set. Closing, F12, Esc and
SIGTERM work while the camera is gone; a camera unplugged at the start
still ends the program silently.

Usage: python3 -m e2e.x11.reconnect_e2e LUMIDART

One line per case: "ok  <case>: <outcome>" or "FAIL <case>: <reason>".
"""

import signal
import sys
import time

from ..harness.checks import check, wait_for
from ..harness.console import SETTINGS_DIALOG, SPOT_CORE, H, W
from ..harness.expected_cursor import expected_pointer, screen_point
from ..harness.linux_faults import Run, main
from ..harness.linux_program import (open_settings_dialog, send_close_requests, start_tracking, steer, stop_tracking,
                                     wait_pointer, wait_preview)
from .endings_e2e import CLICKED_QUAD, set_corner

# Longer than two retries: a camera that stays away is tried again and again.
GONE_S = 2.5
# The camera's return, its mode chosen again and the first frames.
BACK_S = 10.0


def spot_shown(p, spot):
    return lambda px: px(spot[0], 479 - spot[1]) == SPOT_CORE


def unplug(screen, spot):
    steer(screen, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=3, unplugged=1)


def plug(screen, spot):
    steer(screen, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=3)


def unplugged_run(screen, program, workdir, name, first=(150, 120)):
    """A run with a corner set and the spot at first, then unplugged."""
    r = Run(screen, program, workdir, name)
    plug(screen, first)
    set_corner(r.program)
    r.program.wait_picture("the spot", spot_shown(r.program, first))
    unplug(screen, first)
    return r


def back_in_preview_and_tracking(screen, program, workdir):
    first, second, third = (150, 120), (470, 380), (300, 200)
    r = unplugged_run(screen, program, workdir, "back in Preview and tracking", first)
    p = r.program
    # The spot moves while the camera is away: the console keeps the last
    # picture it had.
    unplug(screen, second)
    end = time.monotonic() + GONE_S
    while time.monotonic() < end:
        check(p.process.poll() is None, "the program ended without its camera")
        image = screen.grab()
        check(p.pixel(image, first[0], 479 - first[1]) == SPOT_CORE, "the last picture was lost")
        check(p.pixel(image, second[0], 479 - second[1]) != SPOT_CORE, "a picture came from an unplugged camera")
        time.sleep(0.2)
    plug(screen, second)
    started = time.monotonic()
    p.wait_picture("the picture after the camera's return", spot_shown(p, second), BACK_S)
    preview_back = time.monotonic() - started
    start_tracking(p)
    target = screen_point(CLICKED_QUAD, second)
    wait_pointer(p, "tracking after the return", expected_pointer((W // 2, H // 2), target))
    # Unplugged and back while tracking: tracking carries on by itself.
    unplug(screen, third)
    time.sleep(GONE_S)
    check(screen.pointer() == expected_pointer((W // 2, H // 2), target), "the pointer moved without a camera")
    plug(screen, third)
    started = time.monotonic()
    wait_for("the pointer after the return while tracking",
             lambda: screen.pointer() == expected_pointer(target, screen_point(CLICKED_QUAD, third)), BACK_S)
    tracking_back = time.monotonic() - started
    stop_tracking(p)
    p.close_with_keyboard()
    return "picture back %.1f s and tracking back %.1f s after the return, %s" % (
        preview_back, tracking_back, r.finish(CLICKED_QUAD))


def escape_and_f12_while_gone(screen, program, workdir):
    r = unplugged_run(screen, program, workdir, "Esc and F12 while gone")
    p = r.program
    time.sleep(GONE_S)
    start_tracking(p)
    stop_tracking(p, picture=False)
    check(p.process.poll() is None, "the program ended")
    p.close_with_keyboard()
    return "minimised by Esc, restored by F12, " + r.finish(CLICKED_QUAD)


def close_request_while_gone(screen, program, workdir):
    r = unplugged_run(screen, program, workdir, "close request while gone")
    time.sleep(GONE_S)
    send_close_requests(screen, r.program.window, 1)
    return r.finish(CLICKED_QUAD)


def sigterm_while_gone(screen, program, workdir):
    r = unplugged_run(screen, program, workdir, "SIGTERM while gone")
    # Between retries and, a second later, about when one runs.
    time.sleep(GONE_S)
    r.program.process.send_signal(signal.SIGTERM)
    return r.finish(CLICKED_QUAD)


def dialog_open_when_unplugged(screen, program, workdir):
    r = Run(screen, program, workdir, "settings dialog open when unplugged")
    p = r.program
    spot = (470, 380)
    wait_preview(p)
    open_settings_dialog(p)
    unplug(screen, spot)
    wait_for("the dialog closed with its camera", lambda: not screen.windows_titled(SETTINGS_DIALOG))
    plug(screen, spot)
    p.wait_picture("the picture after the camera's return", spot_shown(p, spot), BACK_S)
    open_settings_dialog(p, "the dialog of the camera that came back")
    send_close_requests(screen, p.window, 1)
    outcome = r.finish()
    check(not screen.windows_titled(SETTINGS_DIALOG), "the dialog outlived the program")
    return "the dialog closed, the picture and the dialog back, " + outcome


def unplugged_at_start(screen, program, workdir):
    steer(screen, unplugged=1)
    r = Run(screen, program, workdir, "unplugged at start", wait=False)
    return "ended by itself, " + r.finish(timeout=15)


CASES = [
    ("unplugged in Preview, back, unplugged while tracking, back", back_in_preview_and_tracking),
    ("Esc and F12 while the camera is gone", escape_and_f12_while_gone),
    ("close request while the camera is gone", close_request_while_gone),
    ("SIGTERM while the camera is gone", sigterm_while_gone),
    ("settings dialog open when the camera goes", dialog_open_when_unplugged),
    ("camera unplugged at the start", unplugged_at_start),
]


if __name__ == "__main__":
    sys.exit(main(CASES, __doc__, "lumidart-reconnect-"))
