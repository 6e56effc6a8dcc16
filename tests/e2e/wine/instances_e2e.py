"""lumidart.exe under Wine: a second start brings the first copy back and
ends; without a camera the program ends at once and writes nothing.

Usage: python3 -m e2e.wine.instances_e2e --program EXE --camera DLL --driver EXE
       --prefix DIR --work DIR instances
"""

import os
import sys
import time

from ..harness.checks import check
from ..harness.console import CYAN, DEFAULT_QUAD, SETTINGS_FILE, quad_bytes
from ..harness.wine_session import Fault, Session, check_settings, main, near, shown, start_console


def scenario_instances(args):
    """A second start brings the first back; without a camera the program
    ends at once and writes nothing."""
    with Session(args, "instances") as s:
        s.register_camera()
        cwd = os.path.join(s.work, "first")
        program, win = start_console(s, cwd)
        s.minimise()

        with Fault("second start while tracking") as fault:
            second_dir = os.path.join(s.work, "second")
            second = s.start_program(second_dir)
            check(s.wait_exit(second) == 0, "the second copy's exit code is not 0")
            s.wait_window("the first console restored", shown)
            check(not os.path.exists(os.path.join(second_dir, SETTINGS_FILE)), "the second copy wrote settings")
            check(program.poll() is None, "the first copy ended")
            fault.note("second copy exit 0 and wrote nothing")
            s.wait_picture("the first copy's preview", win, "restored", lambda at: near(at(320, 100), CYAN))
            fault.note("first copy back in Preview")
            s.close(program)
            fault.note("first copy exit 0")
            check_settings(cwd, fault, quad_bytes(DEFAULT_QUAD), "the defaults saved (no file before)")

        s.register_camera(False)
        try:
            lonely_dir = os.path.join(s.work, "no-camera")
            started = time.monotonic()
            lonely = s.start_program(lonely_dir)
            check(s.wait_exit(lonely, timeout=20) == 0, "exit code without a camera is not 0")
            check(time.monotonic() - started < 15, "the program took too long to give up")
            check(os.listdir(lonely_dir) == [], "files written without a camera: %r" % os.listdir(lonely_dir))
        finally:
            s.register_camera()


if __name__ == "__main__":
    sys.exit(main(__doc__, {"instances": scenario_instances}))
