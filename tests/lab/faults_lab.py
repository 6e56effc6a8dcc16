"""In the lab guest: vivid's own faults, each once, half of them while the
program previews and half while it tracks. Each run must survive the fault, still answer F12 and its
close button, end with exit status 0 and keep the corners set in it.

Usage (in the guest, from tests/): python3 -m lab.faults_lab LUMIDART
"""

import sys
import time

from e2e.harness.checks import check, wait_for
from e2e.harness.display import Screen
from e2e.harness.linux_faults import Run
from e2e.harness.linux_program import click_quad, start_tracking, stop_tracking

from .guest import load_vivid, press, reconnected, run_scenario, set_ctrl

NEW_QUAD = [(50, 45), (595, 35), (35, 435), (615, 455)]
FAULTS = {
    "disconnect": lambda device: press(device, "disconnect"),
    "fatal streaming error": lambda device: press(device, "inject_fatal_streaming_error"),
    "buffer flag error": lambda device: press(device, "inject_v4l2_buf_flag_error"),
    "half the buffers dropped": lambda device: set_ctrl(device, percentage_of_dropped_buffers=50),
}


def fault_run(screen, program, workdir, device, fault, tracking):
    name = "%s while %s" % (fault, "tracking" if tracking else "previewing")
    run = Run(screen, program, workdir, name, source="v4l2src device=" + device)
    p = run.program
    try:
        click_quad(p, NEW_QUAD)
        if tracking:
            start_tracking(p)
        FAULTS[fault](device)
        time.sleep(3)
        check(p.process.poll() is None, "the program ended with %s" % p.process.returncode)
        if tracking:
            stop_tracking(p, picture=False)
        p.close_with_keyboard()
        outcome = run.finish(corners=NEW_QUAD, timeout=20)
    finally:
        run.kill()
    if fault == "disconnect":
        wait_for("the device back once the program ended", reconnected, timeout=10)
    set_ctrl(device, percentage_of_dropped_buffers=0)
    return outcome


def checks(program, workdir, timed):
    device = load_vivid(node_types="0x1", input_types="0x0")[0]
    screen = Screen(workdir)
    try:
        for i, fault in enumerate(FAULTS):
            tracking = i % 2 == 1
            timed.run("fault: %s while %s" % (fault, "tracking" if tracking else "previewing"), fault_run,
                      screen, program, workdir, device, fault, tracking)
    finally:
        screen.close()


if __name__ == "__main__":
    sys.exit(run_scenario(checks))
