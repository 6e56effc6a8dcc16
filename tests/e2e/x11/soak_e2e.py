"""Soak of the Linux program: started and closed again and again on its own
Xvfb, with the virtual camera unpaced (frames as fast as they render), while
random keys and clicks switch modes, set corners, open and cancel the
settings dialog, start tracking and end it with F12.

Usage: python3 -m e2e.x11.soak_e2e LUMIDART [--frames N] [--run-seconds S] [--seed K]

Runs until the camera has delivered N frames in all (default 20000), closing
and restarting the program every S seconds (default 20). Every run must end
with exit code 0 and the settings file holding exactly the corners clicked,
and the next run must show them. The program's resident size is sampled;
unless LUMIDART_SOAK_NO_MEMORY_CHECK is set (sanitizer builds, whose
quarantine grows by design), it must not grow by more than 4 MiB between a
quarter of a run and its end.
"""

import argparse
import os
import random
import sys
import time

from ..harness.checks import check, run_in_scratch, wait_for
from ..harness.console import DEFAULT_QUAD, SETTINGS_DIALOG, read_corners
from ..harness.display import Screen
from ..harness.expected_cursor import self_check_expectations
from ..harness.linux_program import Program, open_settings_dialog, start_tracking, stop_tracking


def corner_for_click(cx, cy):
    """Which corner a Preview click sets, and its frame coordinates."""
    x, y = cx, 480 - cy
    return (0 if x < 320 else 1) + (0 if y < 240 else 2), (x, y)


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


class Run:
    """One program run and the driver's model of its mode and corners."""

    def __init__(self, screen, program, directory, corners, rng, counts):
        self.p = Program(screen, program, directory, source="lumidartvirtualcam live=false")
        self.p.wait_for_window()
        self.corners = list(corners)
        self.mode = "preview"
        self.rng = rng
        self.counts = counts

    def act(self):
        p, choice = self.p, self.rng.randrange(10)
        if choice < 3:
            cx, cy = self.rng.randrange(640), self.rng.randrange(480)
            p.click(cx, cy)
            if self.mode == "preview":
                corner, point = corner_for_click(cx, cy)
                self.corners[corner] = point
                self.counts["corner clicks"] += 1
        elif choice < 5:
            p.key("space")
            self.mode = "threshold" if self.mode == "preview" else "preview"
            self.counts["mode switches"] += 1
        elif choice < 7:
            p.screen.xdo("mousemove", p.x + self.rng.randrange(640), p.y + self.rng.randrange(480))
        elif choice < 9:
            # Tracking for a moment, then F12 held until the console is back.
            start_tracking(p)
            time.sleep(self.rng.random())
            stop_tracking(p, picture=False)
            # NOTE: the window manager animates the de-iconify; a click in
            # its first tenth of a second lands on the animation, not on us.
            time.sleep(0.3)
            self.mode = "preview"
            self.counts["tracking spells"] += 1
        else:
            dialog = open_settings_dialog(p)
            left, top, width, height = p.screen.geometry(dialog)
            p.screen.xdo("mousemove", left + width - 50, top + height - 20, "click", 1)
            wait_for("the dialog cancelled", lambda: not p.screen.windows_titled(SETTINGS_DIALOG))
            self.counts["settings dialogs"] += 1


def stats_frames(path):
    if not os.path.exists(path):
        return 0
    with open(path) as f:
        return sum(int(line.split()[1]) for line in f if line.startswith("frames "))


def soak(program, frames, run_seconds, seed, workdir):
    rng = random.Random(seed)
    stats = os.path.join(workdir, "camera-stats.txt")
    os.environ["LUMIDART_VIRTUALCAM_STATS"] = stats
    judge_memory = not os.environ.get("LUMIDART_SOAK_NO_MEMORY_CHECK")
    counts = {k: 0 for k in ("corner clicks", "mode switches", "tracking spells", "settings dialogs")}
    directory = os.path.join(workdir, "run")
    os.mkdir(directory)
    screen = Screen(workdir)
    runs, growth, started = 0, [], time.monotonic()
    corners = DEFAULT_QUAD
    try:
        while stats_frames(stats) < frames:
            run = Run(screen, program, directory, corners, rng, counts)
            pid = run.p.process.pid
            begin = time.monotonic()
            samples = []
            while time.monotonic() - begin < run_seconds:
                run.act()
                samples.append((time.monotonic() - begin, resident_kib(pid)))
            settled = next(kib for t, kib in samples if t >= run_seconds / 4)
            growth.append(samples[-1][1] - settled)
            if run.mode == "threshold" and rng.randrange(2):
                run.p.key("space")
            run.p.close_with_keyboard()
            check(run.p.exit_code(timeout=30) == 0, "run %d: exit code" % (runs + 1))
            corners = read_corners(directory)
            check(corners == run.corners, "run %d: saved corners %s, clicked %s" % (runs + 1, corners, run.corners))
            runs += 1
            print("run %d: %d frames delivered so far, resident %d KiB at a quarter, %d KiB at the end" % (
                runs, stats_frames(stats), settled, samples[-1][1]), flush=True)
            if judge_memory:
                check(growth[-1] <= 4096, "run %d: resident size grew by %d KiB" % (runs, growth[-1]))
    finally:
        screen.close()
    minutes = (time.monotonic() - started) / 60
    print("runs %d, frames delivered by the camera %d in %.1f min" % (runs, stats_frames(stats), minutes))
    print(", ".join("%s %d" % item for item in counts.items()))
    print("resident growth per run after settling: max %d KiB%s" % (
        max(growth), "" if judge_memory else " (not judged in this build)"))
    print("every run: exit code 0, settings file equal to the corners clicked")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("program")
    parser.add_argument("--frames", type=int, default=20000)
    parser.add_argument("--run-seconds", type=float, default=20)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    def body(workdir):
        self_check_expectations()
        soak(os.path.abspath(args.program), args.frames, args.run_seconds, args.seed, workdir)

    return run_in_scratch("lumidart-soak-", body, "soak passed")


if __name__ == "__main__":
    sys.exit(main())
