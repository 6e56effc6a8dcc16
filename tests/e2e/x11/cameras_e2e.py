"""The user's own cameras, end to end on its own Xvfb with openbox: two
virtual cameras listed by their device provider (the same name twice, as
two identical webcams), each showing its own screen colour. The list, C
switching in turn, the camera in use remembered for the next start, and
--camera by name, by number and naming a camera that is not there.

Usage: python3 -m e2e.x11.cameras_e2e LUMIDART

One line per case: "ok  <case>: <outcome>" or "FAIL <case>: <reason>".
"""

import subprocess
import sys
import time

from ..harness.checks import check
from ..harness.linux_faults import Run, main
from ..harness.linux_program import send_close_requests

# The screen's colour as each virtual camera shows it, at a console pixel
# inside the screen, clear of the quad and the crosshair.
COLOURS = {1: 0x464E60, 2: 0x405A38}
PROBE = (200, 150)
NAMES = ["Lumidart virtual camera", "Lumidart virtual camera (2)"]
CAMERAS = {"LUMIDART_VIRTUALCAM_DEVICES": "2"}


def list_cameras(screen, program, count):
    env = dict(screen.env, LUMIDART_SOURCE="", LUMIDART_VIRTUALCAM_DEVICES=str(count))
    return subprocess.run([program, "--list-cameras"], env=env, capture_output=True, text=True, timeout=60)


def start(screen, program, workdir, name, args=()):
    return Run(screen, program, workdir, name, source="", extra_env=CAMERAS, args=args)


def showing(r, camera, what):
    r.program.wait_picture(what, lambda px: px(*PROBE) == COLOURS[camera])


def close(r):
    send_close_requests(r.program.screen, r.program.window, 1)
    return r.finish()


def the_list(screen, program, workdir):
    listed = list_cameras(screen, program, 2)
    check(listed.returncode == 0, "--list-cameras ended with %d" % listed.returncode)
    lines = [line.split("\t") for line in listed.stdout.splitlines()]
    check([line[:2] for line in lines] == [["1", NAMES[0]], ["2", NAMES[1]]], "listed:\n" + listed.stdout)
    check(len({line[2] for line in lines}) == 2, "identities not apart:\n" + listed.stdout)
    none = list_cameras(screen, program, 0)
    check(none.returncode == 0 and none.stdout == "" and len(none.stderr.splitlines()) == 1,
          "without cameras: exit %d, out %r, err %r" % (none.returncode, none.stdout, none.stderr))
    return "two cameras, repeated name told apart; none: one line on standard error"


def c_switches_and_is_remembered(screen, program, workdir):
    r = start(screen, program, workdir, "c switches")
    showing(r, 1, "the first camera at the start")
    times = []
    for camera in (2, 1, 2):
        began = time.monotonic()
        r.program.key("c")
        showing(r, camera, "camera %d after C" % camera)
        times.append(time.monotonic() - began)
    print("    picture back after C in %s s" % ", ".join("%.2f" % t for t in times), flush=True)
    outcome = close(r)
    r.restart()
    showing(r, 2, "the remembered camera at the next start")
    close(r)
    return outcome + ", the second camera remembered"


def camera_option(screen, program, workdir):
    by_name = start(screen, program, workdir, "by name", ["--camera", NAMES[1]])
    showing(by_name, 2, "the camera named")
    close(by_name)
    by_number = start(screen, program, workdir, "by number", ["--camera=2"])
    showing(by_number, 2, "the camera numbered")
    by_number.program.key("c")
    showing(by_number, 1, "the first camera after C")
    close(by_number)
    missing = start(screen, program, workdir, "missing", ["--camera", "3"])
    showing(missing, 1, "the default for a camera not there")
    outcome = close(missing)
    told = [line for line in missing.program.errors().splitlines() if "camera" in line]
    check(told == ['lumidart: no camera "3"; using the default'], "error output: %r" % told)
    return outcome + "; by name, by number, and a missing one told in one line"


CASES = [
    ("the list", the_list),
    ("C switches and is remembered", c_switches_and_is_remembered),
    ("--camera", camera_option),
]

if __name__ == "__main__":
    sys.exit(main(CASES, __doc__, "lumidart-cameras-"))
