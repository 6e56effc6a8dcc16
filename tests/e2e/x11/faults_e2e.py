#!/usr/bin/env python3
"""Faults the Linux program must survive, end to end on its own Xvfb with
openbox: closes in every mode and repeated, a start without a source,
F12 held, Esc pressed in a burst, and sources that never deliver a frame,
end their stream or fail in the middle of it.

Usage: faults_e2e.py LUMIDART

Each run starts in a directory of its own holding a settings file. Every
fault must end with exit code 0, nothing on the error output that a crash,
a sanitizer or a library assertion prints, and the settings file unchanged
or holding exactly the corners set in that run. One line per fault:
"ok  <fault>: <outcome>" or "FAIL <fault>: <reason>".
"""

import ctypes
import ctypes.util
import os
import shutil
import struct
import sys
import tempfile
import time

sys.dont_write_bytecode = True
import run_e2e as e2e  # noqa: E402
from run_e2e import Failure, check, wait_for  # noqa: E402

START_QUAD = e2e.SCREEN_QUAD
CRASH_MARKS = ("Sanitizer", "runtime error", "CRITICAL **", "ERROR **", "terminate called", "double free",
               "corrupted", "Segmentation")


# --- Close requests as a window manager or task bar sends them --------------------

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


def send_close_requests(screen, window, count):
    """count WM_DELETE_WINDOW messages to the window, back to back in one
    flush; they reach the program whatever its state, minimised too."""
    x = ctypes.CDLL(ctypes.util.find_library("X11"))
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent)]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x.XOpenDisplay(screen.env["DISPLAY"].encode())
    check(display, "no connection to the display")
    try:
        event = XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window
        event.xclient.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        for _ in range(count):
            # No event mask: delivered to the client that made the window.
            check(x.XSendEvent(display, window, 0, 0, ctypes.byref(event)) != 0, "XSendEvent failed")
        x.XFlush(display)
    finally:
        x.XCloseDisplay(display)


# --- A run and its outcome ---------------------------------------------------------

class Run:
    # Every run started; a failed fault's program is ended before the next.
    started = []

    def __init__(self, screen, program, workdir, name, source="lumidartvirtualcam", wait=True, **options):
        self.directory = os.path.join(workdir, name.replace(" ", "-"))
        os.mkdir(self.directory)
        with open(self.settings(), "wb") as f:
            f.write(quad_bytes(START_QUAD))
        self.initial = os.stat(self.settings())
        self.program = e2e.Program(screen, program, self.directory, source=source, **options)
        Run.started.append(self)
        if wait:
            self.program.wait_for_window()

    def settings(self):
        return os.path.join(self.directory, "Lumidart.set")

    def finish(self, corners=None, timeout=10):
        """Checks the end of the run; corners: the quad set in it, if any."""
        p = self.program
        p.exit_code(timeout)
        crash = [line for line in p.errors().splitlines() if any(mark in line for mark in CRASH_MARKS)]
        check(not crash, "error output: " + "\n".join(crash[:20]))
        with open(self.settings(), "rb") as f:
            saved = f.read()
        if corners is None:
            check(saved == quad_bytes(START_QUAD), "calibration changed: %s" % saved.hex())
            return "exit 0, calibration intact"
        check(saved == quad_bytes(corners), "calibration %s, not the corners set" % saved.hex())
        return "exit 0, calibration holds the corners set"

    def kill(self):
        if self.program.process.poll() is None:
            self.program.process.kill()
            self.program.process.wait()


def quad_bytes(quad):
    return struct.pack("<8H", *[v for corner in quad for v in corner])


def client_area(p, image):
    """The console's pixels as bytes, row after row."""
    rows = []
    for y in range(p.y, p.y + 480):
        start = y * image.stride + p.x * 4
        rows.append(image.pixels[start:start + 640 * 4])
    return b"".join(rows)


def wait_preview(p):
    p.wait_picture("the preview", lambda px: px(320, 20) == e2e.CYAN)


def wait_frames_stop(p, timeout):
    """Waits until the picture stays the same for half a second: with noise
    in the scene every frame differs from the one before."""
    def still():
        check(p.process.poll() is None, "the program ended by itself")
        first = client_area(p, p.screen.grab())
        time.sleep(0.5)
        return first == client_area(p, p.screen.grab())

    wait_for("the frames to stop", still, timeout)


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
    p.wait_picture("the threshold view", lambda px: px(300, 300) == e2e.BLACK and px(10, 10) != e2e.BLACK)
    p.close_with_keyboard()
    return r.finish()


def close_while_tracking(screen, program, workdir):
    r = Run(screen, program, workdir, "close while tracking")
    p = r.program
    wait_preview(p)
    e2e.start_tracking(p)
    send_close_requests(screen, p.window, 1)
    return r.finish()


def two_close_requests(screen, program, workdir):
    r = Run(screen, program, workdir, "two close requests")
    p = r.program
    wait_preview(p)
    # Client (100, 100) sets the upper-left corner to frame (100, 380).
    p.click(100, 100)
    corners = list(START_QUAD)
    corners[2] = (100, 380)
    p.wait_picture("the outline through the new corner", lambda px: px(100, 99) == e2e.BLUE)
    send_close_requests(screen, p.window, 2)
    return r.finish(corners)


def two_close_requests_with_dialog_open(screen, program, workdir):
    r = Run(screen, program, workdir, "two close requests with the settings dialog open")
    p = r.program
    wait_preview(p)
    p.key("Tab")
    dialog = wait_for("the settings dialog", lambda: screen.windows_titled("Properties"))[0]
    wait_for("the dialog mapped", lambda: screen.wm_state(dialog) == "Normal")
    send_close_requests(screen, p.window, 2)
    outcome = r.finish()
    check(not screen.windows_titled("Properties"), "the dialog outlived the program")
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
    e2e.steer(screen, noise=0, spot_x=150, spot_y=120, spot_radius=3)
    wait_preview(p)
    e2e.start_tracking(p)
    states = []
    screen.xdo("keydown", "F12")
    try:
        held = time.monotonic()
        while time.monotonic() - held < 2.0:
            states.append(p.state())
            time.sleep(0.05)
        # Still down: the console draws, so it is in Preview, not tracking.
        e2e.steer(screen, noise=0, spot_x=400, spot_y=300, spot_radius=3)
        p.wait_picture("the preview following the spot with F12 down", lambda px: px(400, 179) == e2e.SPOT_CORE)
        states.append(p.state())
    finally:
        screen.xdo("keyup", "F12")
    # Restored within the first second, and never minimised again.
    first = states.index("Normal") if "Normal" in states else len(states)
    check(first < len(states) // 2 and all(state == "Normal" for state in states[first:]),
          "window states with F12 held: %s" % states)
    # Space from Preview shows the threshold view; from tracking it would not.
    p.key("space")
    p.wait_picture("the threshold view after F12", lambda px: px(300, 300) == e2e.BLACK)
    p.close_with_keyboard()
    return "restored once over %d samples in 2 s, Preview kept, %s" % (len(states), r.finish())


def escape_burst(screen, program, workdir):
    r = Run(screen, program, workdir, "Esc burst")
    p = r.program
    spot = (150, 120)
    e2e.steer(screen, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=3)
    p.wait_picture("the spot", lambda px: px(spot[0], 479 - spot[1]) == e2e.SPOT_CORE)
    screen.xdo("key", "--window", p.window, "--delay", "0", "--repeat", "20", "--repeat-delay", "5", "Escape")
    wait_for("the console minimised", lambda: p.state() == "Iconic")
    e2e.wait_pointer(p, "tracking after the burst",
                     e2e.expected_pointer((e2e.W // 2, e2e.H // 2), e2e.screen_point(START_QUAD, spot)))
    time.sleep(0.5)
    check(p.state() == "Iconic", "the console left tracking by itself")
    e2e.stop_tracking(p)
    p.close_with_keyboard()
    return "minimised and tracking, stayed so, F12 back to Preview, " + r.finish()


def source_without_frames(screen, program, workdir):
    r = Run(screen, program, workdir, "unconnectable source", source="audiotestsrc")
    p = r.program
    e2e.steer(screen, noise=6)
    end = time.monotonic() + 2.0
    while time.monotonic() < end:
        image = screen.grab()
        check(p.process.poll() is None, "the program ended by itself")
        check(p.pixel(image, 320, 20) != e2e.CYAN, "a picture was drawn without frames")
        time.sleep(0.2)
    p.close_with_keyboard()
    return "kept running 2 s with no frames, " + r.finish()


def source_ending(screen, program, workdir, name, source):
    r = Run(screen, program, workdir, name, source=source)
    p = r.program
    e2e.steer(screen, noise=6)
    wait_preview(p)
    wait_frames_stop(p, 30)
    time.sleep(1)
    check(p.process.poll() is None, "the program ended with the stream")
    p.close_with_keyboard()
    return "frames, then none, kept running, " + r.finish()


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


def run_faults(program, workdir, faults):
    screen = e2e.Screen(workdir)
    failed = 0
    try:
        for name, fault in faults:
            e2e.steer(screen, noise=0)
            try:
                print("ok  %s: %s" % (name, fault(screen, program, workdir)), flush=True)
            except Failure as failure:
                failed += 1
                print("FAIL %s: %s" % (name, failure), flush=True)
            finally:
                for run in Run.started:
                    run.kill()
                Run.started.clear()
    finally:
        screen.close()
    return failed


def main(faults, usage, prefix):
    """Runs the faults on the program named on the command line."""
    if len(sys.argv) != 2:
        print(usage, file=sys.stderr)
        return 2
    program = os.path.abspath(sys.argv[1])
    workdir = tempfile.mkdtemp(prefix=prefix)
    try:
        failed = run_faults(program, workdir, faults)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    print("%d of %d failed" % (failed, len(faults)) if failed else "all %d passed" % len(faults))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(FAULTS, __doc__, "lumidart-faults-"))
