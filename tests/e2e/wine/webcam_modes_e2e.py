"""lumidart.exe under Wine with the virtual camera listing a webcam's modes:
the fastest 640 x 480 is the one that runs, the picture shows and
tracking lands where the mapping says; a camera with no 640 x 480 mode
gives no picture.

Usage: python3 -m e2e.wine.webcam_modes_e2e --program EXE --camera DLL --driver EXE
       --prefix DIR --work DIR webcam_modes
"""

import os
import sys
import time

from ..harness.checks import check
from ..harness.console import write_corners
from ..harness.wine_session import (TRACKING_QUAD, Session, follow_spots, main, no_picture, start_console,
                                    start_without_picture, windows_path)


def scenario_webcam_modes(args):
    """The virtual camera listing a webcam's modes: the fastest 640 x 480 is
    the one that runs, the picture shows and tracking lands where the
    mapping says; a camera with no 640 x 480 mode gives no picture."""
    for modes in ("webcam-1080p", "hd-first"):
        with Session(args, "modes-" + modes) as s:
            s.register_camera()
            stats = os.path.join(s.work, "stats.txt")
            s.env.update({"LUMIDART_VIRTUALCAM_MODES": modes, "LUMIDART_VIRTUALCAM_STATS": windows_path(stats)})
            cwd = os.path.join(s.work, "run")
            os.makedirs(cwd)
            write_corners(cwd, TRACKING_QUAD)
            s.steer(spot_radius=0)
            program, win = start_console(s, cwd)
            with open(stats) as f:
                running = f.read().splitlines()
            check(running[-1:] == ["mode RGB32 640x480 30"], "%s: the camera runs %r" % (modes, running))
            s.minimise()
            follow_spots(s, TRACKING_QUAD, ((150, 120), (500, 380)), win["screen"], modes + ": the cursor")
            s.restore_with_f12()
            s.close(program, modes + ":")
    with Session(args, "modes-wide") as s:
        s.register_camera()
        s.env["LUMIDART_VIRTUALCAM_MODES"] = "wide"
        cwd = os.path.join(s.work, "run")
        program, win = start_without_picture(s, cwd, None)
        time.sleep(2.0)
        check(no_picture(s, win, "wide"), "a picture from a camera without 640 x 480")
        s.close(program, "wide:")


if __name__ == "__main__":
    sys.exit(main(__doc__, {"webcam_modes": scenario_webcam_modes}))
