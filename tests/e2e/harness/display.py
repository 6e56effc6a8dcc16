"""Private X servers and what the tests read from them: an Xvfb of its
own (-displayfd picks a free display), openbox or the tiling i3, and the X
tools that find windows, read their state, move the pointer and grab the
screen."""

import os
import struct
import subprocess
import time

from .checks import PATIENCE, check, wait_for
from .console import H, W


def start_xvfb(size=(W, H), depth=24, server_args=()):
    """A fresh Xvfb; returns its process and its display name."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp", "-screen", "0",
         "%dx%dx%d" % (size[0], size[1], depth)] + list(server_args),
        pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        number = f.readline().strip()
    check(number, "Xvfb gave no display")
    return xvfb, ":" + number


def stop(process, grace=5):
    process.terminate()
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


# i3 with nothing of a user's set-up: no bar, no key bindings.
I3_CONFIG = """# i3 config file (v4)
font pango:monospace 8
focus_follows_mouse no
"""


class Screen:
    """An Xvfb of its own, by default with openbox (window_manager "i3":
    with i3, False: with none). Programs started on it get this process's
    environment with DISPLAY added."""

    def __init__(self, workdir, size=(W, H), depth=24, server_args=(), window_manager=True):
        self.workdir = workdir
        self.xvfb, display = start_xvfb(size, depth, server_args)
        self.env = dict(os.environ, DISPLAY=display)
        self.wm = None
        self.manager = None
        if window_manager:
            self.manager = "i3" if window_manager == "i3" else "openbox"
            self.start_window_manager()

    @classmethod
    def of_display(cls, workdir, env):
        """The X tools on a display that another part runs (a Wine
        session's); closing it leaves the display alone."""
        screen = cls.__new__(cls)
        screen.workdir, screen.env, screen.xvfb, screen.wm, screen.manager = workdir, env, None, None, None
        return screen

    def start_window_manager(self, *args):
        if self.manager == "i3":
            config = os.path.join(self.workdir, "i3.config")
            with open(config, "w") as f:
                f.write(I3_CONFIG)
            command = ["i3", "-c", config]
        else:
            command = ["openbox", "--sm-disable"]
        self.wm = subprocess.Popen(command + list(args), env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        wait_for("the window manager", lambda: "window id" in self.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check_status=False))
        if self.manager == "openbox":
            self.warm_up_window_manager()

    def warm_up_window_manager(self):
        """NOTE: openbox sometimes never manages the first window mapped
        after its start (about one start in five right after another X
        server was killed; the start-up stall below). A throwaway window
        takes that place, managed or not."""
        probe = subprocess.Popen(["xlogo", "-title", "lumidart-e2e-probe"], env=self.env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 3 * PATIENCE
        while time.monotonic() < deadline and not any(
                self.wm_state(w) == "Normal" for w in self.windows_titled("lumidart-e2e-probe")):
            time.sleep(0.05)
        probe.kill()
        probe.wait()

    def close(self):
        for p in (self.wm, self.xvfb):
            if p is not None:
                stop(p)

    def run(self, args, check_status=True):
        r = subprocess.run(args, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                           timeout=20)
        if check_status:
            check(r.returncode == 0, "%s failed" % " ".join(args))
        return r.stdout

    def xdo(self, *args):
        return self.run(["xdotool"] + [str(a) for a in args])

    def windows_titled(self, title):
        out = self.run(["xdotool", "search", "--name", "^%s$" % title], check_status=False)
        return [int(w) for w in out.split()]

    def only_window_titled(self, title):
        """The window of that title if there is exactly one, else None."""
        windows = self.windows_titled(title)
        return windows[0] if len(windows) == 1 else None

    def geometry(self, window):
        """Left, top (root coordinates), width and height of a window."""
        out = self.run(["xwininfo", "-id", str(window)])
        values = {}
        for line in out.splitlines():
            if ":" in line:
                key, value = line.split(":", 1)
                values[key.strip()] = value.strip()
        return tuple(int(values[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def viewable(self, window):
        return "IsViewable" in self.run(["xwininfo", "-id", str(window)], check_status=False)

    def origin(self, window):
        return self.geometry(window)[:2]

    def wm_state(self, window):
        out = self.run(["xprop", "-id", str(window), "WM_STATE"], check_status=False)
        for state in ("Iconic", "Normal", "Withdrawn"):
            if "window state: " + state in out:
                return state
        return None

    def pointer(self):
        out = self.xdo("getmouselocation")
        fields = dict(part.split(":") for part in out.split())
        return int(fields["x"]), int(fields["y"])

    def grab(self):
        return Image(subprocess.run(["xwd", "-root", "-silent"], env=self.env, stdout=subprocess.PIPE,
                                    check=True, timeout=20).stdout)

    def save_png(self, path, crop=None):
        args = ["import", "-window", "root"]
        if crop:
            args += ["-crop", "%dx%d+%d+%d" % crop, "+repage"]
        self.run(args + [path])


class Image:
    """An xwd dump of a TrueColor screen of any depth: pixels as 0xRRGGBB,
    each channel stretched to 8 bits (full and empty channels exactly)."""

    def __init__(self, data):
        header = struct.unpack(">25I", data[:100])
        header_size, width, height = header[0], header[4], header[5]
        byte_order, bits_per_pixel, bytes_per_line, ncolors = header[7], header[11], header[12], header[19]
        check(bits_per_pixel in (16, 32), "unexpected xwd pixel size %d" % bits_per_pixel)
        self.width, self.height, self.stride = width, height, bytes_per_line
        self.size = bits_per_pixel // 8
        self.order = ("<" if byte_order == 0 else ">") + ("H" if self.size == 2 else "I")
        self.masks = header[14:17]
        self.pixels = data[header_size + 12 * ncolors:]

    @staticmethod
    def channel(value, mask):
        shift = (mask & -mask).bit_length() - 1
        top = mask >> shift
        return ((value & mask) >> shift) * 255 // top

    def at(self, x, y):
        value = struct.unpack_from(self.order, self.pixels, y * self.stride + x * self.size)[0]
        r, g, b = (self.channel(value, m) for m in self.masks)
        return (r << 16) | (g << 8) | b
