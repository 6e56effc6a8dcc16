#!/usr/bin/env python3
"""--help, --version and misuse of the Linux program's command line: each
answers and ends without a window and without any connection to a display,
with DISPLAY unset and with DISPLAY naming a display that only listens.

Usage: x11_main_options_test.py LUMIDART

The listening display is a TCP port that accepts connections and never
answers; a plain start proves it notices a connection attempt (the program
then finds no display and ends with 0).

One line per case: "ok  <case>" or "FAIL <case>: <reason>".
"""

import os
import re
import socket
import subprocess
import sys
import time


class Failure(Exception):
    pass


def check(condition, reason):
    if not condition:
        raise Failure(reason)


def listening_display():
    """A socket on a free X display port of the loopback interface."""
    for number in range(64, 400):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            listener.bind(("127.0.0.1", 6000 + number))
        except OSError:
            listener.close()
            continue
        listener.listen(8)
        listener.setblocking(False)
        return listener, f"127.0.0.1:{number}"
    raise Failure("no free display port")


def connections(listener):
    """How many connections were made since the last call; each is closed,
    so a client waiting for the server's answer gives up."""
    count = 0
    while True:
        try:
            connection, _ = listener.accept()
        except BlockingIOError:
            return count
        connection.close()
        count += 1


def run(program, args, display):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    if display is not None:
        env["DISPLAY"] = display
    # A program that opened a window would wait here for ever.
    return subprocess.run([program] + args, env=env, capture_output=True, text=True, timeout=60,
                          stdin=subprocess.DEVNULL)


def expect_help(result):
    check(result.returncode == 0, f"exit {result.returncode}")
    check(result.stderr == "", f"error output {result.stderr!r}")
    usage = ("Usage: lumidart [--camera N|NAME] [--monitor N|NAME] [--pointer uinput|xtest]\n"
             "                [--list-cameras|--help|--version]\n")
    check(result.stdout.startswith(usage), f"output {result.stdout[:80]!r}")


def expect_version(result):
    check(result.returncode == 0, f"exit {result.returncode}")
    check(result.stderr == "", f"error output {result.stderr!r}")
    check(re.fullmatch(r"lumidart [0-9]+\.[0-9]+\n", result.stdout), f"output {result.stdout!r}")


def expect_misuse(word):
    def expectation(result):
        check(result.returncode == 2, f"exit {result.returncode}")
        check(result.stdout == "", f"output {result.stdout!r}")
        lines = result.stderr.splitlines()
        check(len(lines) == 1 and word in lines[0] and "--help" in lines[0], f"error output {result.stderr!r}")
    return expectation


CASES = [
    (["--help"], expect_help),
    (["-h"], expect_help),
    (["--version"], expect_version),
    (["--bogus"], expect_misuse("'--bogus'")),
    (["--pointer=mouse"], expect_misuse("'mouse'")),
]


def main():
    program = sys.argv[1]
    listener, bogus = listening_display()
    failed = 0

    def report(name, procedure):
        nonlocal failed
        try:
            procedure()
            print(f"ok   {name}", flush=True)
        except (Failure, subprocess.TimeoutExpired) as failure:
            failed += 1
            print(f"FAIL {name}: {failure}", flush=True)

    def plain_start_is_noticed():
        env = dict(os.environ, DISPLAY=bogus)
        process = subprocess.Popen([program], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        seen = 0
        try:
            while process.poll() is None and time.monotonic() < deadline:
                seen += connections(listener)
                time.sleep(0.02)
        finally:
            if process.poll() is None:
                process.kill()
        seen += connections(listener)
        check(seen > 0, f"a plain start did not connect to {bogus}")
        check(process.wait() == 0, f"exit {process.returncode}")

    deadline = time.monotonic() + 30
    report(f"plain start connects to {bogus}", plain_start_is_noticed)
    for args, expectation in CASES:
        for display in (None, bogus):
            def case():
                expectation(run(program, args, display))
                check(connections(listener) == 0, "connected to the display")
            report(f"{' '.join(args)} with DISPLAY={display or '(unset)'}", case)
    listener.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
