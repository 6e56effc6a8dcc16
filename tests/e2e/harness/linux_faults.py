"""Runs of the Linux program that must end well whatever happens to them,
and the driver that reports one line per fault: "ok  <fault>: <outcome>"
or "FAIL <fault>: <reason>"."""

import os
import shutil
import sys
import tempfile

from .checks import Failure, check
from .console import SCREEN_QUAD, SETTINGS_FILE, quad_bytes
from .display import Screen
from .linux_program import Program, steer

START_QUAD = SCREEN_QUAD
CRASH_MARKS = ("Sanitizer", "runtime error", "CRITICAL **", "ERROR **", "terminate called", "double free",
               "corrupted", "Segmentation")


class Run:
    """One run in a directory of its own that starts with a settings file."""

    # Every run started; a failed fault's program is ended before the next.
    started = []

    def __init__(self, screen, program, workdir, name, source="lumidartvirtualcam", wait=True, **options):
        self.directory = os.path.join(workdir, name.replace(" ", "-"))
        os.mkdir(self.directory)
        with open(self.settings(), "wb") as f:
            f.write(quad_bytes(START_QUAD))
        self.initial = os.stat(self.settings())
        options["source"] = source
        self.start = lambda **changes: Program(screen, program, self.directory, **dict(options, **changes))
        self.program = self.start()
        Run.started.append(self)
        if wait:
            self.program.wait_for_window()

    def restart(self, **changes):
        """The program started again in the same directory, once it ended,
        with changes to the options it was started with."""
        self.program = self.start(**changes)
        self.program.wait_for_window()

    def settings(self):
        return os.path.join(self.directory, SETTINGS_FILE)

    def finish(self, corners=None, timeout=10):
        """Checks the end of the run; corners: the quad set in it, if any."""
        p = self.program
        p.exit_code(timeout)
        crash = [line for line in p.errors().splitlines() if any(mark in line for mark in CRASH_MARKS)]
        check(not crash, "error output: " + "\n".join(crash[:20]))
        with open(self.settings(), "rb") as f:
            saved = f.read()
        if corners is None:
            check(saved == quad_bytes(START_QUAD), "calibration changed: %s" % saved.hex())
            return "exit 0, calibration intact"
        check(saved == quad_bytes(corners), "calibration %s, not the corners set" % saved.hex())
        return "exit 0, calibration holds the corners set"

    def kill(self):
        if self.program.process.poll() is None:
            self.program.process.kill()
            self.program.process.wait()


def run_faults(program, workdir, faults):
    screen = Screen(workdir)
    failed = 0
    try:
        for name, fault in faults:
            steer(screen, noise=0)
            try:
                print("ok  %s: %s" % (name, fault(screen, program, workdir)), flush=True)
            except Failure as failure:
                failed += 1
                print("FAIL %s: %s" % (name, failure), flush=True)
            finally:
                for run in Run.started:
                    run.kill()
                Run.started.clear()
    finally:
        screen.close()
    return failed


def main(faults, usage, prefix):
    """Runs the faults on the program named on the command line."""
    if len(sys.argv) != 2:
        print(usage, file=sys.stderr)
        return 2
    program = os.path.abspath(sys.argv[1])
    workdir = tempfile.mkdtemp(prefix=prefix)
    try:
        failed = run_faults(program, workdir, faults)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    print("%d of %d failed" % (failed, len(faults)) if failed else "all %d passed" % len(faults))
    return 1 if failed else 0
