"""lumidart.exe under Wine with two cameras: the virtual camera under the
fixed class id and its second camera, listed only in the video input
category, each showing its own screen colour. The list, C switching in
turn, the camera in use remembered for the next start, and --camera by
name, by number and naming a camera that is not there.

Usage: python3 -m e2e.wine.cameras_e2e --program EXE --camera DLL --driver EXE
       --prefix DIR --work DIR cameras
"""

import os
import subprocess
import sys
import time

from ..harness.checks import check
from ..harness.wine_session import Session, main, near, start_console

COLOURS = {1: 0x464E60, 2: 0x405A38}
PROBE = (100, 100)
NAMES = ["Lumidart virtual camera", "Lumidart virtual camera (2)"]


def showing(s, win, camera, what):
    s.wait_picture(what, win, "camera-%d" % camera, lambda at: near(at(*PROBE), COLOURS[camera], 6))


def scenario_cameras(args):
    with Session(args, "cameras") as s:
        s.register_camera()
        listed = subprocess.run(["wine", args.program, "--list-cameras"], env=s.env, cwd=s.work,
                                capture_output=True, text=True, timeout=120)
        lines = [line.rstrip("\r").split("\t") for line in listed.stdout.splitlines()]
        check(listed.returncode == 0 and [line[:2] for line in lines] == [["1", NAMES[0]], ["2", NAMES[1]]],
              "--list-cameras: exit %d\n%s" % (listed.returncode, listed.stdout))

        cwd = os.path.join(s.work, "switching")
        program, win = start_console(s, cwd)
        showing(s, win, 1, "the fixed source first")
        times = []
        for camera in (2, 1, 2):
            began = time.monotonic()
            s.do("key c")
            showing(s, win, camera, "camera %d after C" % camera)
            times.append(time.monotonic() - began)
        print("picture back after C in %s s" % ", ".join("%.2f" % t for t in times), flush=True)
        s.close(program)
        program, win = start_console(s, cwd)
        showing(s, win, 2, "the remembered camera at the next start")
        s.close(program)

        for label, option, camera in (("by-name", ["--camera", NAMES[1]], 2), ("by-number", ["--camera=2"], 2),
                                      ("missing", ["--camera", "3"], 1)):
            program, win = start_console(s, os.path.join(s.work, label), option)
            showing(s, win, camera, "camera %d for %s" % (camera, " ".join(option)))
            s.close(program)


if __name__ == "__main__":
    sys.exit(main(__doc__, {"cameras": scenario_cameras}))
