"""In the lab guest: the Linux program with two webcams (vivid as two
identical devices), checks the webcam scenario runs once udevd has
recorded them. --list-cameras lists both, the second told apart by its
number; --camera 2 holds only the second device; C moves to the first; a
restart in the same folder opens the one remembered."""

import os
import subprocess

from e2e.harness.checks import Failure, check, wait_for
from e2e.harness.linux_faults import Run


def held(p):
    """The video devices the program has open (a buffer pool holds a
    descriptor of its own on the one it streams from)."""
    fds = "/proc/%d/fd" % p.process.pid
    links = []
    for fd in os.listdir(fds):
        try:
            links.append(os.readlink(os.path.join(fds, fd)))
        except OSError:
            pass
    return sorted({link for link in links if link.startswith("/dev/video")})


def holding(p, device, what):
    try:
        wait_for(what, lambda: held(p) == [device], timeout=20)
    except Failure as failure:
        raise Failure("%s: it holds %s" % (failure, held(p))) from None


def check_list(program, devices):
    env = dict(os.environ, LUMIDART_SOURCE="")
    listed = subprocess.run([program, "--list-cameras"], env=env, capture_output=True, text=True, timeout=120)
    lines = [line.split("\t") for line in listed.stdout.splitlines()]
    check(listed.returncode == 0 and [(n, path.split()[0]) for n, _, path in lines] == [("1", devices[0]),
                                                                                          ("2", devices[1])],
          "listed:\n%s%s" % (listed.stdout, listed.stderr))
    check(lines[1][1] == lines[0][1] + " (2)", "names: %r" % [line[1] for line in lines])
    return "%s and %s" % tuple(line[1] for line in lines)


def check_choice(screen, program, workdir, devices):
    run = Run(screen, program, workdir, "two webcams", source="", args=["--camera", "2"])
    p = run.program
    holding(p, devices[1], "only the second device held")
    p.key("c")
    holding(p, devices[0], "only the first device held after C")
    p.close_with_keyboard()
    run.finish()
    run.restart(args=())
    holding(run.program, devices[0], "the remembered device held after a restart")
    run.program.close_with_keyboard()
    return run.finish() + "; --camera 2, C and the restart each held one device, the right one"
