"""End-to-end: ten copies of the Linux program started at once in one
directory on one display; exactly one console may appear, the other
copies end with exit code 0.

Usage: python3 -m e2e.x11.instances_e2e LUMIDART
"""

import os
import sys
import time

from ..harness.checks import check, wait_for
from ..harness.console import TITLE
from ..harness.display import Screen
from ..harness.linux_program import Program, run_driver, steer

COPIES = 10


def check_copies_at_once(program, workdir):
    screen = Screen(workdir)
    try:
        directory = os.path.join(workdir, "copies")
        os.mkdir(directory)
        steer(screen, noise=0)
        copies = [Program(screen, program, directory) for _ in range(COPIES)]

        def ended():
            return [c for c in copies if c.process.poll() is not None]

        wait_for("all copies but one ended", lambda: len(ended()) == COPIES - 1, timeout=60)
        for c in ended():
            check(c.exit_code() == 0, "a refused copy's exit code")
        survivor = next(c for c in copies if c.process.poll() is None)
        survivor.wait_for_window()
        # Nothing else turns up later either.
        time.sleep(2)
        consoles = screen.windows_titled(TITLE)
        check(consoles == [survivor.window], "consoles: %s" % consoles)
        check(survivor.state() == "Normal", "the console is not shown")
        survivor.close_with_keyboard()
        check(survivor.exit_code() == 0, "the running copy's exit code")
    finally:
        screen.close()
    print("ok  %d copies at once: one console" % COPIES, flush=True)


if __name__ == "__main__":
    sys.exit(run_driver(__doc__, "lumidart-instances-", check_copies_at_once))
