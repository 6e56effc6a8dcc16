#!/usr/bin/env python3
"""The program's own CPU share with a real-shaped camera source.

Usage: cpu_share.py LUMIDART [--seconds S] [--source DESCRIPTION]

Runs the Linux program on a private Xvfb (with openbox) against the source
(default: a live YUY2 640 x 480 test source at 30 fps) for S seconds
(default 20) in Preview and again in Tracking, and a bare gst-launch-1.0 of
the same source into fakesink for as long. Each figure is the process's
CPU time (user + system, all threads) over the measured span, as a share
of one core. Prints both, the difference (the program's own share) and the
machine's load average before and after.
"""

import argparse
import os
import shlex
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
from e2e.harness.checks import run_in_scratch  # noqa: E402
from e2e.harness.console import CYAN  # noqa: E402
from e2e.harness.display import Screen  # noqa: E402
from e2e.harness.linux_program import Program, start_tracking, stop_tracking  # noqa: E402

DEFAULT_SOURCE = ("videotestsrc is-live=true ! capsfilter caps=video/x-raw,format=YUY2,width=640,height=480,"
                  "framerate=30/1")
TICKS = os.sysconf("SC_CLK_TCK")
WARM_UP = 3.0


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime: fields 14 and 15 of the line, 12 and 13 after the name.
    return (int(fields[11]) + int(fields[12])) / TICKS


def measure(pid, seconds):
    """Share of one core that pid used over the next seconds, after a warm-up."""
    time.sleep(WARM_UP)
    cpu0, wall0 = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return (cpu_seconds(pid) - cpu0) / (time.monotonic() - wall0)


def bare_pipeline(source, seconds):
    process = subprocess.Popen(["gst-launch-1.0", "-q"] + shlex.split(source) + ["!", "fakesink"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        return measure(process.pid, seconds)
    finally:
        process.terminate()
        process.wait()


def program_shares(program, source, seconds, workdir):
    screen = Screen(workdir)
    try:
        directory = os.path.join(workdir, "run")
        os.mkdir(directory)
        p = Program(screen, program, directory, source=source)
        p.wait_for_window()
        p.wait_picture("the camera picture", lambda px: px(320, 20) == CYAN, timeout=30)
        screen.xdo("mousemove", 5, 5)
        preview = measure(p.process.pid, seconds)
        start_tracking(p)
        tracking = measure(p.process.pid, seconds)
        stop_tracking(p)
        p.close_with_keyboard()
        p.exit_code()
        return preview, tracking
    finally:
        screen.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("program")
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--source", default=DEFAULT_SOURCE)
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    load_before = open("/proc/loadavg").read().split()[:3]
    shares = {}

    def body(workdir):
        shares["preview"], shares["tracking"] = program_shares(program, args.source, args.seconds, workdir)

    if run_in_scratch("lumidart-cpu-", body, "program measured") != 0:
        return 1
    bare = bare_pipeline(args.source, args.seconds)
    load_after = open("/proc/loadavg").read().split()[:3]
    print("source: %s" % args.source)
    print("%-28s %6.2f%% of one core" % ("bare source ! fakesink", 100 * bare))
    for mode in ("tracking", "preview"):
        print("%-28s %6.2f%% of one core, own share %+.2f%%" % (
            "lumidart, " + mode, 100 * shares[mode], 100 * (shares[mode] - bare)))
    print("load average before %s, after %s (%d cores)" % (" ".join(load_before), " ".join(load_after),
                                                         os.cpu_count()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
