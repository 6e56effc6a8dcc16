"""In the lab guest: Windows programs under Wine against the real vivid
driver, two webcams and a looped HDMI pair. Wine's own capture filter lists
vivid's capture nodes in the video input category and streams from the
webcams into a probe graph, which sees what a disconnect does under it and
whether the filter comes back with the device. lumidart.exe shows the
virtual camera's picture.

Usage (in the guest, from tests/):
    python3 -m lab.wine_lab LUMIDART.EXE CAMERA.DLL DRIVER.EXE PROBE.EXE PREFIX
"""

import argparse
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

from e2e.harness.checks import PATIENCE, check, wait_for
from e2e.harness.wine_session import Session, start_console

from .guest import press, reconnected, run_scenario
from .loop_lab import looped_vivid


class Probe:
    """The capture probe under Wine: one command a line, one answer a line."""

    def __init__(self, s, exe):
        self.process = subprocess.Popen(["wine", exe], env=s.env, cwd=s.work, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)

    def do(self, command, timeout=30):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        check(select.select([self.process.stdout], [], [], timeout * PATIENCE)[0],
              "the probe did not answer %r" % command)
        return self.process.stdout.readline().strip()

    def poll(self):
        """(samples so far, [event code, ...])"""
        f = self.do("poll").split()
        return int(f[1]), [int(e.split("/")[0], 16) for e in f[3:]]

    def quit(self):
        self.process.stdin.close()
        try:
            self.process.wait(30 * PATIENCE)
        except subprocess.TimeoutExpired:
            self.process.kill()


EVENTS = {0x1F: "EC_DEVICE_LOST", 0x03: "EC_ERRORABORT", 0x06: "EC_STREAM_ERROR_STOPPED", 0x01: "EC_COMPLETE"}


def streaming(probe, index, what):
    """The index-th device running into the probe's graph; its format."""
    answer = probe.do("open %d" % index, timeout=60)
    check(answer.startswith("ok"), "%s: open gave %r" % (what, answer))
    wait_for("samples from %s" % what, lambda: probe.poll()[0] >= 10, timeout=30, interval=0.5)
    return answer[3:]


def check_listed(probe):
    """vivid's capture nodes listed, the webcams streaming into a graph; what
    the filter makes of the looped HDMI capture is reported."""
    names = probe.do("list", timeout=60).split(" ", 2)[2].split(";")
    nodes = [i for i, name in enumerate(names) if name == "vivid"]
    check(len(nodes) == 3, "the video input category lists %r" % names)
    formats = [streaming(probe, i, "webcam %d" % (n + 1)) for n, i in enumerate(nodes[:2])]
    looped = probe.do("open %d" % nodes[2], timeout=60)
    probe.do("close", timeout=60)
    return "%r listed; the webcams stream %s; the HDMI capture: %s" % (names, " and ".join(formats), looped)


def check_disconnect(probe, device):
    """vivid disconnected under a running graph: the events that arrive,
    whether samples stop, and the filter again once the device is back."""
    webcam = probe.do("list", timeout=60).split(" ", 2)[2].split(";").index("vivid")
    streaming(probe, webcam, "the webcam before the disconnect")
    press(device, "disconnect")
    events, counts = [], [probe.poll()[0]]
    deadline = time.monotonic() + 10 * PATIENCE
    while time.monotonic() < deadline and (len(counts) < 5 or counts[-1] != counts[-5]):
        time.sleep(0.5)
        count, new = probe.poll()
        events += new
        counts.append(count)
    facts = ["events: %s" % (", ".join(EVENTS.get(e, hex(e)) for e in events) or "none"),
             "samples %s" % ("stop" if len(counts) >= 5 and counts[-1] == counts[-5] else "go on"),
             "%s listed while gone" % probe.do("list", timeout=60).split()[1]]
    probe.do("close", timeout=60)
    wait_for("vivid back once the graph is released", reconnected, timeout=10)
    facts.append("back once released, streaming again " + streaming(probe, webcam, "the webcam after its return"))
    probe.do("close", timeout=60)
    return "; ".join(facts)


def check_virtual_camera(s):
    cwd = os.path.join(s.work, "virtualcam")
    program, win = start_console(s, cwd)
    s.close(program)
    return "console %dx%d with the camera picture, exit 0" % win["client"]


def warm_up(s):
    """A persistent wineserver keeps Wine's own services between starts; the
    first start in the guest loads them all."""
    subprocess.run(["wineserver", "-p"], env=s.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    started = time.monotonic()
    s.register_camera()
    return "first start %.0f s" % (time.monotonic() - started)


def checks(program, workdir, timed, camera, driver, probe, prefix):
    # Wine maps images from the 9p root wrongly: the programs run from copies in tmpfs.
    shm = tempfile.mkdtemp(dir="/dev/shm")
    program, camera, driver, probe = (shutil.copy(f, shm) for f in (program, camera, driver, probe))
    args = argparse.Namespace(program=program, camera=camera, driver=driver, prefix=prefix, work=workdir)
    nodes = looped_vivid(webcams=2)
    with Session(args, "wine") as s:
        timed.run("wine: first start", warm_up, s)
        probe = Probe(s, probe)
        try:
            timed.run("wine: the capture filter lists vivid", check_listed, probe)
            timed.run("wine: the capture filter on a disconnect", check_disconnect, probe, nodes[0])
        finally:
            probe.quit()
        timed.run("wine: lumidart.exe with the virtual camera", check_virtual_camera, s)


if __name__ == "__main__":
    sys.exit(run_scenario(checks))
