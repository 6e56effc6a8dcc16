"""What lab scenarios do inside the guest: load vivid with their own
parameters, talk to its devices through v4l2-ctl, time their checks, and
set up what a desktop session needs (udevd, an unprivileged user; uinput
is loaded at boot)."""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from e2e.harness.checks import Failure, check, wait_for


def sh(*args, timeout=60):
    r = subprocess.run([str(a) for a in args], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                       timeout=timeout)
    check(r.returncode == 0, "%s failed: %s" % (" ".join(str(a) for a in args), r.stdout[-2000:]))
    return r.stdout


def load_vivid(**parameters):
    """Loads vivid afresh; returns its video nodes, in creation order."""
    unload_vivid()
    sh("modprobe", "vivid", *("%s=%s" % item for item in parameters.items()))
    return wait_for("the vivid nodes", lambda: sorted(glob.glob("/dev/video*"), key=lambda n: int(n[10:])),
                    timeout=20)


def unload_vivid():
    if os.path.exists("/sys/module/vivid"):
        wait_for("vivid unloaded", lambda: subprocess.run(["rmmod", "vivid"], stderr=subprocess.DEVNULL).returncode == 0,
                 timeout=30, interval=0.5)


def v4l2(device, *args, timeout=60):
    return sh("v4l2-ctl", "-d", device, *args, timeout=timeout)


def get_ctrl(device, name):
    out = v4l2(device, "--get-ctrl", name)
    return int(out.split(":", 1)[1].split()[0])


def set_ctrl(device, **values):
    v4l2(device, "--set-ctrl", ",".join("%s=%s" % item for item in values.items()))


def press(device, button):
    """A button control: writing it acts once."""
    set_ctrl(device, **{button: 1})


def reconnected():
    """vivid logs its return once every handle on it has closed."""
    log = subprocess.run(["dmesg"], stdout=subprocess.PIPE, text=True).stdout
    return log.rfind("reconnect") > log.rfind("disconnect") >= 0


def highest_rate(device, width, height):
    """The highest frame rate the device lists for that size, over its formats."""
    rates, size = [], None
    for line in v4l2(device, "--list-formats-ext").splitlines():
        m = re.search(r"Size: Discrete (\d+)x(\d+)", line)
        if m:
            size = (int(m.group(1)), int(m.group(2)))
        m = re.search(r"Interval: Discrete [\d.]+s \(([\d.]+) fps\)", line)
        if m and size == (width, height):
            rates.append(float(m.group(1)))
    check(rates, "the device lists no %dx%d" % (width, height))
    return max(rates)


def running_mode(device):
    """(width, height, frames a second, pixel format) the device streams in."""
    out = v4l2(device, "--get-fmt-video", "--get-parm")
    size = re.search(r"Width/Height\s*:\s*(\d+)/(\d+)", out)
    rate = re.search(r"Frames per second:\s*([\d.]+)", out)
    fourcc = re.search(r"Pixel Format\s*:\s*'(\w+)'", out)
    check(size and rate and fourcc, "unreadable mode: " + out)
    return int(size.group(1)), int(size.group(2)), float(rate.group(1)), fourcc.group(1)


def start_udevd():
    """udevd and a replay of the boot's device events, so that a session
    finds its input and video devices as on a real machine."""
    subprocess.Popen(["/lib/systemd/systemd-udevd", "--daemon"]).wait(30)
    sh("udevadm", "trigger", "--action=add")
    sh("udevadm", "settle", "--timeout=60", timeout=90)


def add_user(name, groups=("video", "input")):
    """An unprivileged user with a home and a runtime folder; returns its uid."""
    sh("useradd", "--create-home", "--groups", ",".join(groups), name)
    uid = int(sh("id", "-u", name))
    runtime = "/run/user/%d" % uid
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    os.chown(runtime, uid, uid)
    return uid


class Timed:
    """Runs named checks, printing "ok  name (N s)" or "FAIL name: why";
    failed() says whether any failed."""

    def __init__(self):
        self.failures = 0

    def run(self, name, body, *args):
        started = time.monotonic()
        try:
            outcome = body(*args)
        except Failure as failure:
            self.failures += 1
            print("FAIL %s: %s (%.0f s)" % (name, failure, time.monotonic() - started), flush=True)
            return None
        print("ok  %s%s (%.0f s)" % (name, ": " + outcome if outcome else "", time.monotonic() - started),
              flush=True)
        return outcome


def run_scenario(checks, prefix="lumidart-lab-"):
    """The whole of a scenario: checks(program, workdir, timed, *more) with
    the program named on the command line, a scratch folder and the rest of
    the command line; the exit status says whether any check failed."""
    program = os.path.abspath(sys.argv[1])
    timed = Timed()
    workdir = tempfile.mkdtemp(prefix=prefix)
    checks(program, workdir, timed, *sys.argv[2:])
    if timed.failures and os.path.isdir("/lab-out"):
        # The screenshots come back with the job's output.
        shutil.copytree(workdir, "/lab-out/screenshots", ignore=lambda folder, names: [
            n for n in names if not n.endswith(".png") and not os.path.isdir(os.path.join(folder, n))])
    return 1 if timed.failures else 0
