"""End-to-end: the Linux program presents its picture on X screens of every
depth it may meet (15, 16, 24 and 30 bits), with and without MIT-SHM, and
runs without a picture on a colour-mapped 8-bit screen.

Usage: python3 -m e2e.x11.depths_e2e LUMIDART

Each run must show the overlays in their exact colours, close with exit
code 0 and leave nothing on its error output (a sanitizer's report, say).
"""

import os
import sys

from ..harness.checks import check
from ..harness.console import BLUE, CYAN
from ..harness.linux_program import Program, on_screen, run_driver, start_tracking, steer, stop_tracking

DEPTHS = (8, 15, 16, 24, 30)


def check_depth(program, workdir, depth, shared_memory):
    name = "depth %d %s MIT-SHM" % (depth, "with" if shared_memory else "without")
    directory = os.path.join(workdir, "d%d-%s" % (depth, "shm" if shared_memory else "plain"))
    os.mkdir(directory)

    def body(screen):
        check(("MIT-SHM" in screen.run(["xdpyinfo", "-queryExtensions"])) == shared_memory,
              name + ": the server's extensions are not as asked")
        steer(screen, noise=0, spot_x=500, spot_y=100, spot_radius=4)
        p = Program(screen, program, directory)
        p.wait_for_window()
        screen.xdo("mousemove", 5, 5)
        if depth == 8:
            # A colour-mapped screen gets no picture; the console still
            # works: tracking starts and ends.
            start_tracking(p)
            stop_tracking(p, picture=False)
        else:
            # Full channels survive every depth exactly: the crosshair's
            # cyan and the quad's blue.
            p.wait_picture(name + ": the picture with overlays", lambda px: (
                px(320, 20) == CYAN and px(10, 240) == CYAN and px(40, 439) == BLUE and px(600, 39) == BLUE
                and px(321, 100) not in (CYAN, BLUE)))
        p.close_with_keyboard()
        check(p.exit_code() == 0, name + ": exit code")
        errors = p.errors()
        check("Sanitizer" not in errors and "runtime error" not in errors, name + ":\n" + errors[-3000:])

    on_screen(directory, name, body, depth=depth, server_args=() if shared_memory else ("-extension", "MIT-SHM"))


def run_checks(program, workdir):
    for depth in DEPTHS:
        for shared_memory in (True, False):
            check_depth(program, workdir, depth, shared_memory)


if __name__ == "__main__":
    sys.exit(run_driver(__doc__, "lumidart-depths-", run_checks))
