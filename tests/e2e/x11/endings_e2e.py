"""Endings of the Linux program other than its close button, end to end on
its own Xvfb with openbox: SIGTERM, SIGHUP and SIGINT in each mode and with
the settings dialog open, the console's client killed with xkill, the X
server killed, and starts with standard streams closed.

Usage: python3 -m e2e.x11.endings_e2e LUMIDART

Every run sets a corner with a click first. Every ending must give exit
code 0, nothing on the error output (or in a sanitizer's log) that a crash
or a sanitizer prints, and a settings file holding the corners set in the
run. One line per ending: "ok  <ending>: <outcome>" or "FAIL <ending>:
<reason>".
"""

import glob
import os
import signal
import sys

from ..harness.checks import check, wait_for
from ..harness.console import BLACK, BLUE, SETTINGS_DIALOG
from ..harness.display import Screen
from ..harness.linux_faults import START_QUAD, Run, main
from ..harness.linux_program import open_settings_dialog, start_tracking, steer, wait_preview

# Client (100, 100) sets the upper-left corner to frame (100, 380).
CLICKED_QUAD = START_QUAD[:2] + [(100, 380)] + START_QUAD[3:]


def set_corner(p):
    wait_preview(p)
    p.click(100, 100)
    p.screen.xdo("mousemove", 5, 5)
    p.wait_picture("the outline through the new corner", lambda px: px(100, 99) == BLUE)


# --- What the program is doing when it ends; each starts from Preview -------------

def in_preview(p):
    wait_preview(p)


def in_threshold_view(p):
    p.key("space")
    p.wait_picture("the threshold view", lambda px: px(300, 300) == BLACK and px(10, 10) != BLACK)


def while_tracking(p):
    start_tracking(p)


def with_dialog_open(p):
    open_settings_dialog(p)


STATES = [
    ("in Preview", in_preview),
    ("in Threshold view", in_threshold_view),
    ("while tracking", while_tracking),
    ("with the settings dialog open", with_dialog_open),
]


# --- Endings -----------------------------------------------------------------------

def run_until(screen, program, workdir, name, state, end, **options):
    """A run with a corner set, brought to state, then ended by end(run)."""
    r = Run(screen, program, workdir, name, **options)
    set_corner(r.program)
    state(r.program)
    end(r)
    return r.finish(CLICKED_QUAD)


def by_signal(number, state):
    def ending(screen, program, workdir, name):
        outcome = run_until(screen, program, workdir, name, state, lambda r: r.program.process.send_signal(number))
        check(not screen.windows_titled(SETTINGS_DIALOG), "the dialog outlived the program")
        return outcome

    return ending


def catches(pid, number):
    """True once the process has a handler for the signal."""
    with open("/proc/%d/status" % pid) as f:
        caught = next(int(line.split()[1], 16) for line in f if line.startswith("SigCgt:"))
    return caught & (1 << (number - 1)) != 0


def signal_at_start(screen, program, workdir, name):
    """SIGTERM as soon as the program catches it, long before its window
    exists: the close waits for the event loop, and nothing is lost."""
    r = Run(screen, program, workdir, name, wait=False)
    p = r.program
    wait_for("the handler", lambda: p.process.poll() is None and catches(p.process.pid, signal.SIGTERM), 30)
    p.process.send_signal(signal.SIGTERM)
    return r.finish(timeout=30)


def by_xkill(state):
    def ending(screen, program, workdir, name):
        return run_until(screen, program, workdir, name, state,
                         lambda r: screen.run(["xkill", "-id", str(r.program.window)]))

    return ending


def by_server_killed(state):
    """On an X server of its own, killed outright while the program runs."""
    def ending(_, program, workdir, name):
        directory = os.path.join(workdir, name.replace(" ", "-") + "-server")
        os.mkdir(directory)
        screen = Screen(directory)
        try:
            steer(screen, noise=0)
            return run_until(screen, program, workdir, name, state, lambda r: screen.xvfb.kill())
        finally:
            screen.close()

    return ending


def with_streams_closed(descriptors):
    """Started with the descriptors closed; a sanitizer then reports into
    files of its own. GStreamer logs its start and every state change on
    standard error, as any library may: none of it may reach an X
    connection. The console must draw and close as usual."""
    def ending(screen, program, workdir, name):
        log = os.path.join(workdir, name.replace(" ", "-") + "-sanitizer")
        options = {key: (os.environ.get(key, "") + ":log_path=" + log).lstrip(":")
                   for key in ("ASAN_OPTIONS", "UBSAN_OPTIONS")}
        options["GST_DEBUG"] = "GST_INIT:4,GST_STATES:4"

        def close_descriptors():
            for fd in descriptors:
                os.close(fd)

        def check_and_close(r):
            pid = r.program.process.pid
            for fd in descriptors:
                target = os.readlink("/proc/%d/fd/%d" % (pid, fd))
                check(target == "/dev/null", "descriptor %d is %s" % (fd, target))
            r.program.close_with_keyboard()

        outcome = run_until(screen, program, workdir, name, in_preview, check_and_close, extra_env=options,
                            preexec_fn=close_descriptors)
        for report in glob.glob(log + "*"):
            with open(report, errors="replace") as f:
                check(False, "sanitizer report:\n" + f.read()[-4000:])
        return outcome

    return ending


def named(name, ending):
    return name, lambda screen, program, workdir: ending(screen, program, workdir, name)


ENDINGS = (
    [named("%s %s" % (signal.Signals(number).name, where), by_signal(number, state))
     for where, state in STATES for number in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT)]
    + [named("SIGTERM during start-up", signal_at_start)]
    + [named("xkill on the console %s" % where, by_xkill(state)) for where, state in STATES[:3]]
    + [named("X server killed %s" % where, by_server_killed(state)) for where, state in STATES]
    + [named("X server killed in Preview, again", by_server_killed(in_preview))]
    + [named("standard error closed", with_streams_closed([2])),
       named("standard output and error closed", with_streams_closed([1, 2])),
       named("all standard streams closed", with_streams_closed([0, 1, 2]))]
)


if __name__ == "__main__":
    sys.exit(main(ENDINGS, __doc__, "lumidart-endings-"))
