"""Faults the Linux program must survive, end to end on its own Xvfb with
openbox: closes in every mode and repeated, a start without a source,
F12 held, Esc pressed in a burst, and sources that never deliver a frame,
end their stream or fail in the middle of it (and are opened again).

Usage: python3 -m e2e.x11.faults_e2e LUMIDART

Each run starts in a directory of its own holding a settings file. Every
fault must end with exit code 0, nothing on the error output that a crash,
a sanitizer or a library assertion prints, and the settings file unchanged
or holding exactly the corners set in that run. One line per fault:
"ok  <fault>: <outcome>" or "FAIL <fault>: <reason>".
"""

import os
import sys
import time

from ..harness.checks import check, wait_for
from ..harness.console import BLACK, BLUE, CYAN, SETTINGS_DIALOG, SPOT_CORE, H, W
from ..harness.expected_cursor import expected_pointer, screen_point
from ..harness.linux_faults import START_QUAD, Run, main
from ..harness.linux_program import (open_settings_dialog, send_close_requests, start_tracking, steer, stop_tracking,
                                     wait_pointer, wait_preview)


def client_area(p, image):
    """The console's pixels as bytes, row after row."""
    rows = []
    for y in range(p.y, p.y + 480):
        start = y * image.stride + p.x * 4
        rows.append(image.pixels[start:start + 640 * 4])
    return b"".join(rows)


# --- Faults ----------------------------------------------------------------------

def close_in_preview(screen, program, workdir):
    r = Run(screen, program, workdir, "close in Preview")
    wait_preview(r.program)
    r.program.close_with_keyboard()
    return r.finish()


def close_in_threshold_view(screen, program, workdir):
    r = Run(screen, program, workdir, "close in Threshold view")
    p = r.program
    wait_preview(p)
    p.key("space")
    # Black inside the search box away from the spot, the camera outside it.
    p.wait_picture("the threshold view", lambda px: px(300, 300) == BLACK and px(10, 10) != BLACK)
    p.close_with_keyboard()
    return r.finish()


def close_requests_in(screen, program, workdir, name, state, count):
    """A run brought from Preview to state(p), then sent count close requests."""
    r = Run(screen, program, workdir, name)
    p = r.program
    wait_preview(p)
    state(p)
    send_close_requests(screen, p.window, count)
    return r.finish()


def close_while_tracking(screen, program, workdir):
    return close_requests_in(screen, program, workdir, "close while tracking", start_tracking, 1)


def two_close_requests(screen, program, workdir):
    r = Run(screen, program, workdir, "two close requests")
    p = r.program
    wait_preview(p)
    # Client (100, 100) sets the upper-left corner to frame (100, 380).
    p.click(100, 100)
    corners = list(START_QUAD)
    corners[2] = (100, 380)
    p.wait_picture("the outline through the new corner", lambda px: px(100, 99) == BLUE)
    send_close_requests(screen, p.window, 2)
    return r.finish(corners)


def two_close_requests_with_dialog_open(screen, program, workdir):
    outcome = close_requests_in(screen, program, workdir, "two close requests with the settings dialog open",
                                open_settings_dialog, 2)
    check(not screen.windows_titled(SETTINGS_DIALOG), "the dialog outlived the program")
    return outcome


def failed_creation(screen, program, workdir):
    started = time.monotonic()
    r = Run(screen, program, workdir, "no source", source="some-nonexistent-element", wait=False)
    outcome = r.finish(timeout=15)
    after = os.stat(r.settings())
    # A save, even of the same bytes, would be a new file.
    check((after.st_ino, after.st_mtime_ns) == (r.initial.st_ino, r.initial.st_mtime_ns),
          "the settings file was written")
    return "ended by itself after %.1f s, settings not written, %s" % (time.monotonic() - started, outcome)


def f12_held(screen, program, workdir):
    r = Run(screen, program, workdir, "F12 held")
    p = r.program
    steer(screen, noise=0, spot_x=150, spot_y=120, spot_radius=3)
    wait_preview(p)
    start_tracking(p)
    states = []
    screen.xdo("keydown", "F12")
    try:
        held = time.monotonic()
        while time.monotonic() - held < 2.0:
            states.append(p.state())
            time.sleep(0.05)
        # Still down: the console draws, so it is in Preview, not tracking.
        steer(screen, noise=0, spot_x=400, spot_y=300, spot_radius=3)
        p.wait_picture("the preview following the spot with F12 down", lambda px: px(400, 179) == SPOT_CORE)
        states.append(p.state())
    finally:
        screen.xdo("keyup", "F12")
    # Restored within the first second, and never minimised again.
    first = states.index("Normal") if "Normal" in states else len(states)
    check(first < len(states) // 2 and all(state == "Normal" for state in states[first:]),
          "window states with F12 held: %s" % states)
    # Space from Preview shows the threshold view; from tracking it would not.
    p.key("space")
    p.wait_picture("the threshold view after F12", lambda px: px(300, 300) == BLACK)
    p.close_with_keyboard()
    return "restored once over %d samples in 2 s, Preview kept, %s" % (len(states), r.finish())


def escape_burst(screen, program, workdir):
    r = Run(screen, program, workdir, "Esc burst")
    p = r.program
    spot = (150, 120)
    steer(screen, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=3)
    p.wait_picture("the spot", lambda px: px(spot[0], 479 - spot[1]) == SPOT_CORE)
    screen.xdo("key", "--window", p.window, "--delay", "0", "--repeat", "20", "--repeat-delay", "5", "Escape")
    wait_for("the console minimised", lambda: p.state() == "Iconic")
    wait_pointer(p, "tracking after the burst", expected_pointer((W // 2, H // 2), screen_point(START_QUAD, spot)))
    time.sleep(0.5)
    check(p.state() == "Iconic", "the console left tracking by itself")
    stop_tracking(p)
    p.close_with_keyboard()
    return "minimised and tracking, stayed so, F12 back to Preview, " + r.finish()


def source_without_frames(screen, program, workdir):
    r = Run(screen, program, workdir, "unconnectable source", source="audiotestsrc")
    p = r.program
    steer(screen, noise=6)
    end = time.monotonic() + 2.0
    while time.monotonic() < end:
        image = screen.grab()
        check(p.process.poll() is None, "the program ended by itself")
        check(p.pixel(image, 320, 20) != CYAN, "a picture was drawn without frames")
        time.sleep(0.2)
    p.close_with_keyboard()
    return "kept running 2 s with no frames, " + r.finish()


def wait_frames_move(p, timeout):
    def moving():
        check(p.process.poll() is None, "the program ended by itself")
        return client_area(p, p.screen.grab()) != client_area(p, p.screen.grab())

    wait_for("the frames to move", moving, timeout)


def stopped_runs(path):
    """The frame counts of the camera's finished runs, from its stats file."""
    try:
        with open(path) as f:
            return [int(line.split()[1]) for line in f if line.startswith("frames ")]
    except OSError:
        return []


def source_ending(screen, program, workdir, name, source):
    stats = os.path.join(workdir, name.replace(" ", "-") + ".stats")
    r = Run(screen, program, workdir, name, source=source, extra_env={"LUMIDART_VIRTUALCAM_STATS": stats})
    p = r.program
    steer(screen, noise=6)
    wait_preview(p)
    # The camera's own count says its stream ended and the program took it
    # down (a still picture lasts only until the next try, too short to
    # catch on a loaded machine).
    runs = wait_for("the camera taken down after its stream's end", lambda: stopped_runs(stats), 30)
    check(runs[0] >= 240, "the camera stopped after %d frames" % runs[0])
    # The same source is opened again: its frames come back.
    wait_frames_move(p, 10)
    p.close_with_keyboard()
    return "frames, then none, then frames from the source opened again, " + r.finish()


def source_ends_stream(screen, program, workdir):
    return source_ending(screen, program, workdir, "source stops after 240 frames",
                         "lumidartvirtualcam num-buffers=240")


def source_fails_mid_stream(screen, program, workdir):
    return source_ending(screen, program, workdir, "source fails after 240 frames",
                         "lumidartvirtualcam ! identity error-after=240")


FAULTS = [
    ("close in Preview", close_in_preview),
    ("close in Threshold view", close_in_threshold_view),
    ("close while tracking (minimised)", close_while_tracking),
    ("two close requests back to back", two_close_requests),
    ("two close requests with the settings dialog open", two_close_requests_with_dialog_open),
    ("close after a failed creation (no source)", failed_creation),
    ("F12 held for 2 s", f12_held),
    ("Esc pressed 20 times fast", escape_burst),
    ("source whose output cannot be connected", source_without_frames),
    ("source ends its stream", source_ends_stream),
    ("source fails mid-stream", source_fails_mid_stream),
]


if __name__ == "__main__":
    sys.exit(main(FAULTS, __doc__, "lumidart-faults-"))
