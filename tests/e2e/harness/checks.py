"""Failing a check, waiting for a condition and running in scratch space."""

import os
import shutil
import tempfile
import time

# Slower machines (an emulated guest) stretch every wait by this factor.
PATIENCE = float(os.environ.get("LUMIDART_E2E_PATIENCE", "1"))


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, predicate, timeout=10.0, interval=0.05):
    """Polls predicate until it returns a true value; returns that value."""
    deadline = time.monotonic() + timeout * PATIENCE
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


def run_in_scratch(prefix, body, passed):
    """Runs body(workdir) in a fresh directory, removed afterwards: exit
    code 0 after printing passed, or 1 after printing the failure."""
    workdir = tempfile.mkdtemp(prefix=prefix)
    try:
        body(workdir)
    except Failure as failure:
        print("FAIL " + str(failure), flush=True)
        return 1
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    print(passed)
    return 0
