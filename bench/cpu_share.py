#!/usr/bin/env python3
"""The program's own CPU share with a real-shaped camera source.

Usage: cpu_share.py LUMIDART [--seconds S] [--rounds N] [--source DESCRIPTION]

Each round runs the Linux program on a private Xvfb (with openbox) against
the source (default: a live YUY2 640 x 480 test source at 30 fps) for S
seconds (default 20) in Preview and again in Tracking, then a bare
gst-launch-1.0 of the same source into fakesink for as long. A figure is
the CPU time the scheduler accounted to all the process's threads over the
measured span (nanoseconds from /proc/PID/task/TID/schedstat, not the
sampled clock ticks of /proc/PID/stat), as a share of one core. On a small
virtual machine the same run varies by several tenths of a per cent from
one round to the next, so N rounds (default 3) are run and each figure's
median is printed beside every round's, with the program's share split by
thread: the streaming thread (the source, the chain and the sink's copy),
the analysis worker and the rest. The program's own share is its median
less the bare pipeline's.
"""

import argparse
import os
import shlex
import statistics
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
WARM_UP = 3.0
PARTS = ("streaming", "worker", "rest")


def thread_seconds(pid):
    """CPU seconds of each live thread of pid, by the part it plays."""
    parts = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                seconds = int(f.read().split()[0]) / 1e9
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                name = f.read().strip()
        except OSError:
            continue  # ended meanwhile
        parts[tid] = (name, seconds)
    return parts


def part_of(pid, tid, name, program):
    # GStreamer names a streaming thread after the element that starts it
    # ("videotestsrc0:src"); our worker keeps the program's name.
    if ":" in name:
        return "streaming"
    if program and tid != str(pid) and name == "lumidart":
        return "worker"
    return "rest"


def measure(pid, seconds, program=True):
    """Share of one core, in total and by part, that pid used over the next seconds, after a warm-up."""
    time.sleep(WARM_UP)
    before, wall0 = thread_seconds(pid), time.monotonic()
    time.sleep(seconds)
    after, wall1 = thread_seconds(pid), time.monotonic()
    shares = dict.fromkeys(PARTS, 0.0)
    for tid, (name, spent) in after.items():
        used = spent - before.get(tid, (name, 0.0))[1]
        shares[part_of(pid, tid, name, program)] += used / (wall1 - wall0)
    shares["total"] = sum(shares[p] for p in PARTS)
    return shares


def bare_pipeline(source, seconds):
    process = subprocess.Popen(["gst-launch-1.0", "-q"] + shlex.split(source) + ["!", "fakesink"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        return measure(process.pid, seconds, program=False)
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


def percent(value):
    return "%5.2f%%" % (100 * value)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("program")
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--source", default=DEFAULT_SOURCE)
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    load_before = open("/proc/loadavg").read().split()[:3]
    rounds = []
    for number in range(1, args.rounds + 1):
        shares = {}

        def body(workdir):
            shares["preview"], shares["tracking"] = program_shares(program, args.source, args.seconds, workdir)

        if run_in_scratch("lumidart-cpu-", body, "round %d measured" % number) != 0:
            return 1
        shares["bare"] = bare_pipeline(args.source, args.seconds)
        rounds.append(shares)
    load_after = open("/proc/loadavg").read().split()[:3]

    def median(run, part="total"):
        return statistics.median(r[run][part] for r in rounds)

    print("source: %s" % args.source)
    print("share of one core, %d rounds of %g s each; median, then each round" % (len(rounds), args.seconds))
    for run, label in (("bare", "bare source ! fakesink"), ("tracking", "lumidart, tracking"),
                       ("preview", "lumidart, preview")):
        print("%-26s %s   (%s)" % (label, percent(median(run)), ", ".join(percent(r[run]["total"]) for r in rounds)))
        if run != "bare":
            print("%-26s %s" % ("", "  ".join("%s %s" % (part, percent(median(run, part))) for part in PARTS)))
    for run in ("tracking", "preview"):
        own = [r[run]["total"] - r["bare"]["total"] for r in rounds]
        print("own share, %-15s %+.2f%% (median of the rounds' differences: %s)" % (
            run, 100 * statistics.median(own), ", ".join("%+.2f%%" % (100 * o) for o in own)))
    print("load average before %s, after %s (%d cores)" % (" ".join(load_before), " ".join(load_after),
                                                         os.cpu_count()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
