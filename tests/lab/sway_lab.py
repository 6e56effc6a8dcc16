"""In the lab guest: the Linux program on a Wayland desktop. sway runs
headless with two outputs and reads input through libinput, as on a real
machine (udevd and seatd started here, sway as an unprivileged user);
the program runs under its XWayland as that user, with the virtual camera.
The pointer the compositor draws is the one that must land exactly; X11
windows covering each output let XWayland report where it is.

Usage (in the guest, from tests/): python3 -m lab.sway_lab LUMIDART
"""

import contextlib
import os
import pwd
import subprocess
import sys
import time

from e2e.harness.checks import Failure, check, wait_for
from e2e.harness.console import SCREEN_QUAD, SETTINGS_FILE, TITLE, read_corners, write_corners
from e2e.harness.display import Screen, stop
from e2e.harness.expected_cursor import pointer_pixel, resting_place, screen_point
from e2e.harness.linux_program import Program, click_quad

from .guest import add_user, run_scenario, start_udevd

USER = "presenter"
# Side by side, of different sizes: the device spans the box around both.
OUTPUTS = [("HEADLESS-1", (0, 0, 1280, 800)), ("HEADLESS-2", (1280, 0, 1024, 768))]
DEVICE_NAME = "Lumidart pointer"
# Lower left and upper right strictly inside the Search box: a spot just
# beyond either is still searched, and lands on the monitor's very corner.
QUAD = [(60, 50), (600, 30), (30, 450), (580, 430)]

SWAY_CONFIG = "".join(
    "output %s mode %dx%d position %d %d\n" % (name, w, h, x, y) for name, (x, y, w, h) in OUTPUTS) + """
xwayland enable
focus_follows_mouse yes
for_window [title="cover-1"] move to output HEADLESS-1, fullscreen enable
for_window [title="cover-2"] move to output HEADLESS-2, fullscreen enable
exec sh -c 'echo "$DISPLAY" > %(runtime)s/xdisplay.tmp && mv %(runtime)s/xdisplay.tmp %(runtime)s/xdisplay'
"""


class User:
    def __init__(self, name):
        entry = pwd.getpwnam(name)
        self.uid, self.gid, self.home = entry.pw_uid, entry.pw_gid, entry.pw_dir
        self.name = name
        self.groups = [g for g in os.getgrouplist(name, entry.pw_gid)]
        self.runtime = "/run/user/%d" % self.uid

    def become(self):
        os.setgroups(self.groups)
        os.setgid(self.gid)
        os.setuid(self.uid)

    def env(self, **extra):
        return dict(os.environ, HOME=self.home, USER=self.name, LOGNAME=self.name, XDG_RUNTIME_DIR=self.runtime,
                    **extra)


class SwayDesktop(Screen):
    """sway and its XWayland, seen through the Screen interface: the X tools
    of the checks talk to XWayland, where the user let root in."""

    def __init__(self, workdir, user):
        self.workdir = workdir
        self.user = user
        self.xvfb = None
        self.manager = "sway"
        self.covers = []
        config = os.path.join(workdir, "sway.config")
        with open(config, "w") as f:
            f.write(SWAY_CONFIG % {"runtime": user.runtime})
        self.log = open(os.path.join(workdir, "sway.log"), "w")
        env = user.env(LIBSEAT_BACKEND="seatd", WLR_BACKENDS="headless,libinput", WLR_LIBINPUT_NO_DEVICES="1",
                       WLR_HEADLESS_OUTPUTS=str(len(OUTPUTS)), WLR_RENDERER="pixman")
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        self.wm = subprocess.Popen(["sway", "-d", "-c", config], env=env, preexec_fn=user.become,
                                   stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log, cwd=user.home)
        marker = os.path.join(user.runtime, "xdisplay")

        def display():
            check(self.wm.poll() is None, "sway ended: " + self.log_tail())
            return os.path.exists(marker) and open(marker).read().strip()

        x_display = wait_for("XWayland", display, timeout=120, interval=0.5)
        wayland = wait_for("the Wayland socket", lambda: next(
            (n for n in os.listdir(user.runtime) if n.startswith("wayland-") and not n.endswith(".lock")), None),
            timeout=30)
        self.sway_socket = wait_for("sway's IPC socket", lambda: next(
            (os.path.join(user.runtime, n) for n in os.listdir(user.runtime) if n.startswith("sway-ipc.")), None),
            timeout=30)
        self.user_env = user.env(DISPLAY=x_display, WAYLAND_DISPLAY=wayland, SWAYSOCK=self.sway_socket)
        subprocess.run(["xhost", "+si:localuser:root"], env=self.user_env, preexec_fn=user.become,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=True)
        self.env = dict(os.environ, DISPLAY=x_display)

    def log_tail(self):
        self.log.flush()
        with open(self.log.name, errors="replace") as f:
            return f.read()[-3000:]

    def swaymsg(self, *args):
        return subprocess.run(["swaymsg"] + list(args), env=self.user_env, preexec_fn=self.user.become,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60).stdout

    def cover_outputs(self):
        """A fullscreen X11 window on each output: XWayland knows the
        compositor's pointer only over its own windows."""
        for number in range(1, len(OUTPUTS) + 1):
            self.covers.append(subprocess.Popen(["xlogo", "-title", "cover-%d" % number], env=self.user_env,
                                                preexec_fn=self.user.become, stdout=subprocess.DEVNULL,
                                                stderr=subprocess.DEVNULL))
        for number, (_, (x, y, w, h)) in enumerate(OUTPUTS, 1):
            wait_for("cover %d over its output" % number, lambda: any(
                self.viewable(c) and self.geometry(c) == (x, y, w, h) for c in self.windows_titled(
                    "cover-%d" % number)), timeout=60)

    def uncover(self):
        for cover in self.covers:
            stop(cover)
        self.covers = []

    def focused_output(self):
        for line in self.swaymsg("-t", "get_outputs", "-p").splitlines():
            if line.startswith("Output ") and "(focused)" in line:
                return line.split()[1]
        return None

    def close(self):
        self.uncover()
        stop(self.wm)
        self.log.close()


def steer(desktop, **settings):
    """The virtual camera reads only a control file of its own user's."""
    path = os.path.join(desktop.workdir, "control.txt")
    with open(path + ".tmp", "w") as f:
        f.writelines("%s %d\n" % item for item in settings.items())
    os.chown(path + ".tmp", desktop.user.uid, desktop.user.gid)
    os.replace(path + ".tmp", path)


def open_path_to(path):
    """The user may reach the build under test (only this guest's overlay
    changes)."""
    while path != "/":
        path = os.path.dirname(path)
        os.chmod(path, os.stat(path).st_mode | 0o005)


def device_present():
    with open("/proc/bus/input/devices") as f:
        return 'N: Name="%s"' % DEVICE_NAME in f.read()


def start(desktop, program, workdir, label, quad=SCREEN_QUAD, args=()):
    directory = os.path.join(workdir, label)
    os.mkdir(directory)
    os.chown(directory, desktop.user.uid, desktop.user.gid)
    write_corners(directory, quad)
    os.chown(os.path.join(directory, SETTINGS_FILE), desktop.user.uid, desktop.user.gid)
    p = Program(desktop, program, directory, args=args, preexec_fn=desktop.user.become,
                extra_env={k: desktop.user_env[k] for k in ("HOME", "USER", "XDG_RUNTIME_DIR", "WAYLAND_DISPLAY")})
    p.window = wait_for("the console", lambda: p.process.poll() is None and desktop.only_window_titled(TITLE),
                        timeout=120)
    wait_for("the console shown", lambda: desktop.viewable(p.window), timeout=60)
    p.x, p.y = desktop.origin(p.window)
    return p


def focus(p):
    """As a user's click would: sway gives the console the keyboard."""
    p.screen.swaymsg("[title=\"^%s$\"] focus" % TITLE)


def start_tracking(p):
    """Esc: sway never iconifies, so the console withdraws itself."""
    focus(p)
    p.screen.xdo("key", "Escape")
    wait_for("the console withdrawn", lambda: not p.screen.viewable(p.window), timeout=20)


def pointer_lands(desktop, quad, spot, output, what, cursor=None):
    """Steers the spot; returns where the smoothed cursor rests (monitor
    pixels) once the compositor's pointer is on the pixel it names."""
    steer(desktop, noise=0, spot_x=spot[0], spot_y=spot[1], spot_radius=3)
    x, y, w, h = output
    cursor = resting_place(cursor or (w // 2, h // 2), screen_point(quad, spot, (w, h)))
    expected = (x + pointer_pixel(cursor[0], w), y + pointer_pixel(cursor[1], h))
    try:
        wait_for(what, lambda: desktop.pointer() == expected, timeout=20)
    except Failure:
        raise Failure("%s: pointer at %s, expected %s" % (what, desktop.pointer(), expected)) from None
    return cursor, expected


def corners_and_centre(quad):
    (x0, y0), (x1, y1), (x2, y2), (x3, y3) = quad
    # Beyond the two inner corners; just inside the two on the Search box's
    # corners, so that the whole spot is searched.
    return [("lower left", (x0 - 3, y0 - 3)), ("lower right", (x1 - 5, y1 + 5)), ("upper left", (x2 + 5, y2 - 5)),
            ("upper right", (x3 + 3, y3 + 3)), ("centre", ((x0 + x1 + x2 + x3) // 4, (y0 + y1 + y2 + y3) // 4))]


def track_spots(desktop, quad, output, label):
    cursor = None
    landed = []
    for name, spot in corners_and_centre(quad):
        cursor, pixel = pointer_lands(desktop, quad, spot, output, "%s: the %s" % (label, name), cursor)
        landed.append("%s %s" % (name, pixel))
    return ", ".join(landed)


def end_with_second_start(desktop, program, workdir, p, label):
    second = Program(desktop, program, os.path.join(workdir, label), preexec_fn=desktop.user.become,
                     extra_env={k: desktop.user_env[k] for k in ("HOME", "USER", "XDG_RUNTIME_DIR", "WAYLAND_DISPLAY")})
    check(second.exit_code(timeout=120) == 0, "the second start's exit code")
    wait_for("the console back after a second start", lambda: desktop.viewable(p.window), timeout=30)


@contextlib.contextmanager
def console(desktop, program, workdir, label, **start_args):
    """A run of the program that never outlives its check."""
    p = start(desktop, program, workdir, label, **start_args)
    try:
        yield p
    finally:
        if p.process.poll() is None:
            p.process.kill()


def close(p, desktop, corners):
    desktop.uncover()
    # sway binds no key here; its kill command is the close request.
    desktop.swaymsg("[title=\"^%s$\"] kill" % TITLE)
    check(p.exit_code(timeout=60) == 0, "exit code")
    check(read_corners(p.workdir) == corners, "corners saved: %s" % read_corners(p.workdir))
    wait_for("the pointer device gone", lambda: not device_present(), timeout=10)


def uinput_on_first(desktop, program, workdir):
    with console(desktop, program, workdir, "first") as p:
        check(device_present(), "no %s device while the program runs" % DEVICE_NAME)
        check("uinput" not in p.errors(), "the program wrote: " + p.errors())
        click_quad(p, QUAD)
        start_tracking(p)
        desktop.cover_outputs()
        landed = track_spots(desktop, QUAD, OUTPUTS[0][1], "first output")
        end_with_second_start(desktop, program, workdir, p, "first")
        close(p, desktop, QUAD)
        return landed


def uinput_on_second(desktop, program, workdir):
    with console(desktop, program, workdir, "second", quad=QUAD, args=("--monitor", "2")) as p:
        start_tracking(p)
        desktop.cover_outputs()
        landed = track_spots(desktop, QUAD, OUTPUTS[1][1], "second output")
        # The compositor itself follows: its focus moved with the pointer.
        check(desktop.focused_output() == OUTPUTS[1][0], "focused output %s" % desktop.focused_output())
        p.screen.xdo("keydown", "F12")
        try:
            wait_for("the console back after F12", lambda: desktop.viewable(p.window), timeout=30)
        finally:
            p.screen.xdo("keyup", "F12")
        close(p, desktop, QUAD)
        return landed


def without_access(desktop, program, workdir):
    os.chown("/dev/uinput", 0, 0)
    os.chmod("/dev/uinput", 0o600)
    with console(desktop, program, workdir, "no-access") as p:
        lines = [line for line in p.errors().splitlines() if line.strip()]
        check(len(lines) == 1 and "/dev/uinput" in lines[0], "standard error: %r" % lines)
        check(not device_present(), "a device without access")
        start_tracking(p)
        desktop.cover_outputs()
        # XTest still moves XWayland's own pointer.
        pointer_lands(desktop, SCREEN_QUAD, corners_and_centre(SCREEN_QUAD)[4][1], OUTPUTS[0][1], "the XTest fallback")
        end_with_second_start(desktop, program, workdir, p, "no-access")
        close(p, desktop, SCREEN_QUAD)
        return lines[0]


def checks(program, workdir, timed):
    # The user's runs live below it.
    os.chmod(workdir, 0o755)
    start_udevd()
    add_user(USER)
    user = User(USER)
    # What the package's udev rule gives the session's user (an ACL through
    # logind, which this guest does not run).
    os.chown("/dev/uinput", user.uid, 0)
    seatd = subprocess.Popen(["seatd", "-u", USER], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    wait_for("seatd", lambda: os.path.exists("/run/seatd.sock"), timeout=30)
    open_path_to(program)
    started = time.monotonic()
    desktop = SwayDesktop(workdir, user)
    print("ok  sway with XWayland, two outputs (%.0f s)" % (time.monotonic() - started), flush=True)
    try:
        timed.run("uinput: exact pixels on the first output, a second start ends tracking", uinput_on_first, desktop,
                  program, workdir)
        timed.run("uinput: --monitor 2, F12 ends tracking", uinput_on_second, desktop, program, workdir)
        timed.run("no access to /dev/uinput: one line, XTest", without_access, desktop, program, workdir)
    finally:
        desktop.close()
        stop(seatd)


if __name__ == "__main__":
    sys.exit(run_scenario(checks, prefix="lumidart-sway-"))
