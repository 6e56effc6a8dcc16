"""End-to-end: the Linux program with and without a window manager, under
the tiling i3 (which never iconifies), across virtual-desktop switches and
a window manager killed and restarted in each mode. Tracking must start
and stop only through Esc, a minimise, F12 and a second start, and the
console must be visible exactly when the program is not tracking.

Usage: python3 -m e2e.x11.window_managers_e2e LUMIDART
"""

import os
import sys
import time

from ..harness.checks import check, wait_for
from ..harness.console import SCREEN_QUAD, TITLE, H, W, read_corners, write_corners
from ..harness.expected_cursor import expected_pointer, resting_place, screen_point
from ..harness.linux_program import (Program, on_screen, run_driver, send_close_requests, start_tracking, steer,
                                     wait_pointer)

A = (150, 120)
B = (470, 380)


class Console:
    """The program under test and where its smoothed cursor rests."""

    def __init__(self, screen, program, directory, managed=True, extra_env=None):
        os.mkdir(directory)
        write_corners(directory, SCREEN_QUAD)
        self.directory = directory
        self.spot = A
        steer(screen, noise=0, spot_x=A[0], spot_y=A[1], spot_radius=3)
        self.p = Program(screen, program, directory, extra_env=extra_env)
        self.p.wait_for_window(managed=managed)
        self.screen = screen
        self.rest = None

    def said(self):
        """The program's own lines on its error output."""
        return [line for line in self.p.errors().splitlines() if line.startswith("lumidart: ")]

    def visible(self):
        return self.screen.viewable(self.p.window)

    def expect_visible(self, what, visible):
        wait_for("%s: the console %s" % (what, "shown" if visible else "hidden"),
                 lambda: self.visible() == visible)

    def move_spot(self, spot):
        self.spot = spot
        steer(self.screen, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=3)

    def expect_tracking(self, what, fresh):
        """The pointer follows the spot; fresh: tracking has just started,
        so the smoothing starts from the screen's centre."""
        if fresh or self.rest is None:
            self.rest = (W // 2, H // 2)
        target = screen_point(SCREEN_QUAD, self.spot)
        expected = expected_pointer(self.rest, target)
        self.rest = resting_place(self.rest, target)
        wait_pointer(self.p, what + ": tracking", expected)

    def expect_not_tracking(self, what):
        self.screen.xdo("mousemove", 5, 5)
        self.move_spot(B if self.spot == A else A)
        time.sleep(1.5)
        check(self.screen.pointer() == (5, 5), what + ": the laser moved the pointer")

    def expect_hidden_tracking(self, what, fresh):
        self.expect_visible(what, False)
        self.expect_tracking(what, fresh)

    def f12_to_preview(self, what):
        self.f12()
        self.expect_not_tracking(what)

    def escape(self):
        # Focused directly: nothing activates windows without a manager.
        self.screen.xdo("windowfocus", "--sync", self.p.window)
        self.screen.xdo("key", "Escape")

    def f12(self):
        self.screen.xdo("keydown", "F12")
        try:
            self.expect_visible("F12", True)
        finally:
            self.screen.xdo("keyup", "F12")

    def close(self, what):
        send_close_requests(self.screen, self.p.window, 1)
        check(self.p.exit_code() == 0, what + ": exit code")
        check(read_corners(self.directory) == SCREEN_QUAD, what + ": corners changed")


def check_no_window_manager(program, workdir):
    def body(screen):
        c = Console(screen, program, os.path.join(workdir, "nowm"), managed=False)
        # A window made taller than the picture: presses below it set nothing.
        screen.xdo("windowsize", c.p.window, 1000, 800)
        wait_for("the console enlarged", lambda: screen.geometry(c.p.window)[2:] == (1000, 800))
        c.p.click(100, 600)
        c.p.click(800, 100)
        c.expect_not_tracking("no window manager, Preview")
        c.escape()
        c.expect_hidden_tracking("Esc without a window manager", fresh=True)
        c.f12_to_preview("F12 without a window manager")
        # Someone else's minimise request (a pager, a taskbar).
        screen.xdo("windowminimize", c.p.window)
        c.expect_hidden_tracking("a minimise request", fresh=True)
        c.f12_to_preview("F12 again")
        c.close("no window manager")
    on_screen(workdir, "no window manager (Esc, minimise request, F12, oversized client)", body, window_manager=False)


def uinput_fallback_line():
    """What the program says under Wayland on this host, where it cannot
    make a uinput device; None where it can (it then moves the pointer
    through the device, which no X server here reads)."""
    if not os.path.exists("/dev/uinput"):
        return "lumidart: /dev/uinput is missing, so the pointer moves through XTest"
    if not os.access("/dev/uinput", os.W_OK):
        return "lumidart: no write access to /dev/uinput, so the pointer moves through XTest"
    return None


def check_tiling_window_manager(program, workdir):
    def body(screen):
        # As under sway's XWayland: a Wayland session the program cannot
        # reach through uinput here says so once and runs on with XTest.
        fallback = uinput_fallback_line()
        c = Console(screen, program, os.path.join(workdir, "i3"),
                    extra_env={"WAYLAND_DISPLAY": "wayland-lumidart-e2e"} if fallback else None)
        c.expect_not_tracking("i3, Preview")
        if fallback:
            said = c.said()
            check(len(said) == 1 and said[0].startswith(fallback), "error output: %r" % said)
        c.escape()
        c.expect_hidden_tracking("Esc under i3", fresh=True)
        check(c.p.state() != "Iconic", "i3 iconified the console")
        c.f12_to_preview("F12 under i3")
        screen.xdo("windowminimize", c.p.window)
        c.expect_hidden_tracking("a minimise request under i3", fresh=True)
        # A manager that iconifies late, then shows the window as normal,
        # neither starts tracking again nor ends it.
        for state in (3, 1):
            screen.run(["xprop", "-id", str(c.p.window), "-f", "WM_STATE", "32c", "-set", "WM_STATE", str(state)])
        time.sleep(0.5)
        c.move_spot(B)
        c.expect_hidden_tracking("a late iconify and restore", fresh=False)
        second_dir = os.path.join(workdir, "i3-second")
        os.mkdir(second_dir)
        second = Program(screen, program, second_dir)
        check(second.exit_code() == 0, "the second start's exit code")
        c.expect_visible("a second start", True)
        check(screen.windows_titled(TITLE) == [c.p.window], "the second start opened a console")
        c.expect_not_tracking("after a second start")
        c.escape()
        c.expect_hidden_tracking("Esc again under i3", fresh=True)
        c.f12_to_preview("F12 again under i3")
        c.close("i3")
        if fallback:
            check(len(c.said()) == 1, "error output: %r" % c.said())
    on_screen(workdir, "i3 (Esc, minimise request, F12, a second start, a late iconify; the uinput fallback)", body,
              window_manager="i3")


def check_desktop_switch(program, workdir):
    def body(screen):
        c = Console(screen, program, os.path.join(workdir, "desktops"))
        screen.xdo("set_desktop", 1)
        wait_for("the console hidden by the switch", lambda: c.p.state() == "Iconic")
        c.expect_not_tracking("another desktop")
        screen.xdo("set_desktop", 0)
        wait_for("the console back with its desktop", lambda: c.p.state() == "Normal")
        c.expect_not_tracking("back on the console's desktop")
        start_tracking(c.p)
        c.expect_tracking("Esc", fresh=True)
        screen.xdo("set_desktop", 1)
        time.sleep(0.5)
        c.move_spot(B)
        c.expect_tracking("tracking on another desktop", fresh=False)
        c.f12()
        wait_for("the console restored", lambda: c.p.state() == "Normal")
        check(screen.xdo("get_desktop").strip() == screen.xdo("get_desktop_for_window", c.p.window).strip(),
              "F12 left the console on another desktop")
        c.expect_not_tracking("after F12")
        c.close("desktop switch")
    on_screen(workdir, "a virtual-desktop switch is not a minimise", body)


def kill_window_manager(screen):
    screen.wm.kill()
    screen.wm.wait()


def check_window_manager_restarts(program, workdir):
    def body(screen):
        c = Console(screen, program, os.path.join(workdir, "restarts"))
        # Killed and restarted in Preview.
        kill_window_manager(screen)
        c.expect_visible("manager killed in Preview", True)
        c.expect_not_tracking("manager killed in Preview")
        c.escape()
        c.expect_hidden_tracking("Esc after the manager died", fresh=True)
        c.f12_to_preview("F12 after the manager died")
        screen.start_window_manager()
        wait_for("the console managed again", lambda: c.p.state() == "Normal")
        c.expect_visible("manager restarted in Preview", True)
        c.expect_not_tracking("manager restarted in Preview")
        # Killed and restarted while tracking.
        c.escape()
        wait_for("the console minimised", lambda: c.p.state() == "Iconic")
        c.expect_tracking("Esc under the new manager", fresh=True)
        kill_window_manager(screen)
        c.expect_visible("manager killed while tracking", False)
        c.move_spot(B)
        c.expect_tracking("manager killed while tracking", fresh=False)
        screen.start_window_manager()
        time.sleep(1)
        c.expect_visible("manager restarted while tracking", False)
        c.move_spot(A)
        c.expect_tracking("manager restarted while tracking", fresh=False)
        c.f12()
        wait_for("the console managed after F12", lambda: c.p.state() == "Normal")
        c.expect_not_tracking("F12 under the restarted manager")
        c.close("manager restarts")
    on_screen(workdir, "window manager killed and restarted in Preview and while tracking", body)


def run_checks(program, workdir):
    for scenario in (check_no_window_manager, check_tiling_window_manager, check_desktop_switch,
                     check_window_manager_restarts):
        directory = os.path.join(workdir, scenario.__name__)
        os.mkdir(directory)
        scenario(program, directory)


if __name__ == "__main__":
    sys.exit(run_driver(__doc__, "lumidart-wm-", run_checks))
