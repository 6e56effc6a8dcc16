"""lumidart.exe under Wine, faults it must survive: the settings file held
by another program, cameras that are missing, cannot be connected, send
short samples or stop sending, a camera unplugged and plugged back while
previewing and while tracking, closes in every mode, twice, with the
settings dialog open and during a failed creation, F12 held and Esc
repeated. One line per fault: "ok    <fault>: <outcome>" or
"FAIL  <fault>: <why>".

Usage: python3 -m e2e.wine.faults_e2e --program EXE --camera DLL --driver EXE
       --prefix DIR --work DIR faults_settings|faults_capture|faults_unplug|faults_lifecycle
"""

import os
import sys
import time

from ..harness.checks import check, wait_for
from ..harness.console import BLACK, BLUE, CYAN, DEFAULT_QUAD, SETTINGS_FILE, SPOT_CORE, quad_bytes
from ..harness.wine_session import (OPERATOR_BYTES, Session, OPERATOR_QUAD, Fault, camera_like, check_settings,
                                    close_and_check, exact_screen_point, file_bytes, main, near, no_picture,
                                    open_settings_dialog, prepare_run, shown, start_console, start_without_picture,
                                    windows_path)


def outline_at(at, quad):
    """True when the quad outline passes a quarter of the way along its
    lower and its left side (picture line = 479 - row); at(x, y) gives the
    pixel at client (x, y)."""
    points = []
    for a, b in ((0, 1), (0, 2)):
        x = quad[a][0] + (quad[b][0] - quad[a][0]) / 4
        row = quad[a][1] + (quad[b][1] - quad[a][1]) / 4
        points.append((round(x), 479 - round(row)))
    return all(any(near(at(x + dx, y + dy), BLUE) for dx in (-1, 0, 1) for dy in (-1, 0, 1))
               for x, y in points)


def set_lower_left(s, win, quad):
    """A click at client (100, 400), the lower left quarter, makes P0
    (100, 80); returns the quad with it once the outline shows it."""
    s.do("click %d %d" % (win["origin"][0] + 100, win["origin"][1] + 400))
    s.do("move 2 2")
    edited = [(100, 80)] + quad[1:]
    s.wait_picture("the outline through the new corner", win, "edited", lambda at: outline_at(at, edited))
    return edited


def lock_settings(s, cwd):
    """The settings file held open without sharing, as another program might."""
    check(s.do("lock " + windows_path(os.path.join(cwd, SETTINGS_FILE))) == "ok", "could not lock")


def scenario_faults_settings(args):
    """The settings file held open by another program, at start and at close."""
    with Session(args, "faults_settings") as s:
        s.register_camera()
        s.start_driver()
        defaults = quad_bytes(DEFAULT_QUAD)

        with Fault("settings file held without sharing at start") as fault:
            cwd = prepare_run(s, "held-at-start")
            lock_settings(s, cwd)
            program, win = start_console(s, cwd)
            at = s.client(win, "held-at-start")
            check(outline_at(at, DEFAULT_QUAD) and not outline_at(at, OPERATOR_QUAD),
                  "the console does not show the default quad")
            fault.note("runs on the defaults")
            s.do("unlock")
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)

        with Fault("settings file held at start, a corner set in the run") as fault:
            cwd = prepare_run(s, "held-at-start-edited")
            lock_settings(s, cwd)
            program, win = start_console(s, cwd)
            s.do("unlock")
            edited = set_lower_left(s, win, DEFAULT_QUAD)
            close_and_check(s, program, cwd, fault, quad_bytes(edited))
            check(file_bytes(os.path.join(cwd, SETTINGS_FILE)) != defaults, "the defaults were saved")

        with Fault("settings file held without sharing at close") as fault:
            cwd = prepare_run(s, "held-at-close")
            program, win = start_console(s, cwd)
            check(outline_at(s.client(win, "loaded"), OPERATOR_QUAD), "the operator's quad was not loaded")
            # An edit, so that a save that got through would change the file.
            set_lower_left(s, win, OPERATOR_QUAD)
            lock_settings(s, cwd)
            s.do("close")
            code = s.wait_exit(program)
            s.do("unlock")
            check(code == 0, "exit code %d" % code)
            fault.note("edited, exit 0")
            check_settings(cwd, fault, OPERATOR_BYTES)


def scenario_faults_capture(args):
    """Cameras that are missing, cannot be connected, send short samples or
    stop sending."""
    with Session(args, "faults_capture") as s:
        s.start_driver()

        with Fault("no source (camera not registered)") as fault:
            s.register_camera(False)
            try:
                cwd = prepare_run(s, "no-source")
                started = time.monotonic()
                code = s.wait_exit(s.start_program(cwd), timeout=20)
                check(code == 0, "exit code %d" % code)
                fault.note("ends by itself in %.1f s with exit 0" % (time.monotonic() - started))
                check(os.listdir(cwd) == ["Lumidart.set"], "files written: %r" % os.listdir(cwd))
                check_settings(cwd, fault, OPERATOR_BYTES)
            finally:
                s.register_camera()

        with Fault("first pin cannot be connected") as fault:
            cwd = prepare_run(s, "no-connect")
            program, win = start_without_picture(s, cwd, "no-connect")
            time.sleep(2.0)
            check(no_picture(s, win, "no-connect"), "a picture was drawn")
            fault.note("window up, 0 frames shown")
            s.do("key space")
            s.do("key space")
            time.sleep(0.5)
            check(program.poll() is None and no_picture(s, win, "no-connect-space"), "Space changed the picture")
            open_settings_dialog(s)
            s.in_front()
            s.minimise()
            wait_for("the frame to close through its OK", lambda: s.dialogs() == 0, timeout=15)
            fault.note("Tab opens the settings dialog, Esc confirms it and minimises")
            # No frame pass ever runs: the UI thread watches F12 instead.
            s.restore_with_f12()
            check(program.poll() is None, "the program ended on F12")
            s.in_front()
            s.minimise()
            second = s.start_program(os.path.join(s.work, "no-connect-second"))
            check(s.wait_exit(second) == 0, "the second copy's exit code is not 0")
            s.wait_window("the console restored", shown)
            fault.note("without frames F12 brings the console back, and so does a second start")
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)

        with Fault("short samples (one row short)") as fault:
            cwd = prepare_run(s, "short-samples")
            program, win = start_without_picture(s, cwd, "short-samples")
            time.sleep(3.0)
            check(no_picture(s, win, "short-samples"), "a short sample was drawn")
            check(program.poll() is None, "the program ended")
            fault.note("running, 0 frames shown")
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)

        with Fault("source stops after 30 frames, with no word of a loss") as fault:
            cwd = prepare_run(s, "stop-after")
            count = camera_stats(s)
            program = s.start_program(cwd, "stop-after=30")
            win = s.wait_window("the console window", shown)
            s.wait_picture("the camera picture", win, "stop-after", lambda at: near(at(320, 100), CYAN), timeout=30)
            wait_for("the silent camera opened again", lambda: count("mode") >= 2, timeout=20)
            check(program.poll() is None, "the program ended with the stream")
            s.do("activate")
            s.do("key space")
            s.do("key esc")
            s.wait_window("the console to minimise", lambda w: w["iconic"])
            fault.note("opened again once frames stopped, keys handled, running")
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)


def scenario_faults_lifecycle(args):
    """Closing in every Mode, twice, with the settings dialog open and after
    a failed creation; F12 held and Esc repeated."""
    with Session(args, "faults_lifecycle") as s:
        s.register_camera()
        s.start_driver()

        with Fault("close in Threshold view") as fault:
            cwd = prepare_run(s, "close-threshold")
            program, win = start_console(s, cwd)
            s.do("key space")
            s.wait_picture("the threshold view", win, "threshold", lambda at: near(at(300, 300), BLACK, 4))
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)

        with Fault("close while tracking (minimised)") as fault:
            cwd = prepare_run(s, "close-tracking")
            program, win = start_console(s, cwd)
            s.minimise()
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)

        with Fault("two close requests back to back (Preview)") as fault:
            cwd = prepare_run(s, "close-twice")
            program, win = start_console(s, cwd)
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES, how="post-close 2")

        with Fault("close requests during a failed creation (no source)") as fault:
            s.register_camera(False)
            try:
                cwd = prepare_run(s, "close-failed", contents=None)
                program = s.start_program(cwd)
                answer = s.do("close-while-alive 15000").split()
                code = s.wait_exit(program, timeout=20)
                check(code == 0, "exit code %d" % code)
                fault.note("%s close requests posted while its window lived" % answer[1])
                fault.note("exit 0")
                check(os.listdir(cwd) == [], "files written: %r" % os.listdir(cwd))
                check_settings(cwd, fault, None)
            finally:
                s.register_camera()

        with Fault("two close requests with the settings dialog open") as fault:
            cwd = prepare_run(s, "close-twice-frame")
            program, win = start_console(s, cwd)
            open_settings_dialog(s)
            # The second arrives while the quit waits for the frame's call.
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES, how="post-close 2")
            check(s.dialogs() == 0, "the frame outlived the program")

        held_and_repeated_keys(s)


def held_and_repeated_keys(s):
    """F12 held for two seconds; Esc pressed twenty times in a row."""
    cwd = prepare_run(s, "keys")
    program, win = start_console(s, cwd)

    def tracking_to(spot):
        target = exact_screen_point(OPERATOR_QUAD, spot, win["screen"])
        s.steer(spot_x=spot[0], spot_y=spot[1])
        s.wait_cursor("the cursor at %r" % (target,), target)

    with Fault("F12 held for 2 s while tracking") as fault:
        s.minimise()
        tracking_to((150, 120))
        # Watched for 3 s beyond the release, so a late restore is seen too.
        f = s.do("hold-watch f12 2000 3000").split()
        restores, minimises, iconic, first = int(f[1]), int(f[3]), f[5] == "1", int(f[7])
        check(restores == 1 and minimises == 0 and not iconic,
              "%d restores, %d minimises, iconic %s" % (restores, minimises, iconic))
        check(first < 2000, "restored only %d ms after the press, once F12 was up" % first)
        win = s.wait_window("the console in front", shown)

        def preview(at):
            return near(at(320, 100), CYAN) and camera_like(at(100, 100))
        s.wait_picture("Preview after F12", win, "after-f12", preview)
        time.sleep(1.0)
        check(preview(s.client(win, "after-f12")) and not s.window()["iconic"], "it left Preview")
        fault.note("restored once (%d ms after the press), stays in Preview" % first)

    with Fault("Esc pressed 20 times, then F12") as fault:
        s.in_front()
        for _ in range(20):
            s.do("key esc")
        s.wait_window("the console to minimise", lambda w: w["iconic"])
        time.sleep(1.0)
        check(s.window()["iconic"] and program.poll() is None, "not minimised after the presses")
        tracking_to((450, 150))
        fault.note("minimised and tracking")
        win = s.restore_with_f12()
        s.wait_picture("Preview after F12", win, "after-esc", lambda at: near(at(320, 100), CYAN))
        fault.note("F12 brings Preview back")
        close_and_check(s, program, cwd, fault, OPERATOR_BYTES)


def camera_stats(s):
    """The camera's stats file for the session's programs; returns a count
    of its lines that start with a word ("mode" opens each stream)."""
    stats = os.path.join(s.work, "stats.txt")
    s.env["LUMIDART_VIRTUALCAM_STATS"] = windows_path(stats)

    def count(word):
        try:
            with open(stats) as f:
                return sum(1 for line in f if line.split()[:1] == [word])
        except FileNotFoundError:
            return 0
    return count


def scenario_faults_unplug(args):
    """The camera unplugged and plugged back while previewing and while
    tracking, F12 while it is gone: the program carries on without a
    restart, and the picture and tracking come back exactly."""
    with Session(args, "faults_unplug") as s:
        s.register_camera()
        count = camera_stats(s)

        def unplug_and_plug(spot, while_gone=lambda: None):
            """Unplugged until the camera has seen it, then back with the spot
            moved; returns the seconds from the plug to the new stream."""
            streams, losses = count("mode"), count("unplugged")
            s.steer(spot_x=spot[0], spot_y=spot[1], unplugged=1)
            wait_for("the running camera to notice its unplug", lambda: count("unplugged") > losses, timeout=20)
            while_gone()
            s.steer(spot_x=spot[0], spot_y=spot[1])
            plugged = time.monotonic()
            wait_for("the camera streaming again", lambda: count("mode") > streams, timeout=20)
            return time.monotonic() - plugged

        cwd = prepare_run(s, "unplug")
        program, win = start_console(s, cwd)
        with Fault("unplugged while previewing, then back") as fault:
            spot = (450, 300)
            back = unplug_and_plug(spot)
            s.wait_picture("the spot in the picture again", win, "plugged-preview",
                           lambda at: near(at(spot[0], 479 - spot[1]), SPOT_CORE))
            fault.note("streaming again %.1f s after the plug, the picture follows the scene" % back)

        with Fault("unplugged while tracking, then back") as fault:
            s.minimise()
            spot = (150, 120)
            s.steer(spot_x=spot[0], spot_y=spot[1])
            s.wait_cursor("the cursor on the spot", exact_screen_point(OPERATOR_QUAD, spot, win["screen"]))
            spot = (420, 330)
            back = unplug_and_plug(spot)
            target = exact_screen_point(OPERATOR_QUAD, spot, win["screen"])
            s.wait_cursor("the cursor on the moved spot at %r" % (target,), target)
            fault.note("streaming again %.1f s after the plug, tracking exact" % back)

        with Fault("F12 while the camera is gone") as fault:
            restored = []
            unplug_and_plug((300, 200), lambda: restored.append(s.restore_with_f12()))
            s.wait_picture("the picture again after F12", restored[0], "plugged-f12",
                           lambda at: near(at(300, 279), SPOT_CORE))
            fault.note("console back without frames, the picture back after the plug")
            close_and_check(s, program, cwd, fault, OPERATOR_BYTES)


SCENARIOS = {
    "faults_settings": scenario_faults_settings,
    "faults_capture": scenario_faults_capture,
    "faults_unplug": scenario_faults_unplug,
    "faults_lifecycle": scenario_faults_lifecycle,
}


if __name__ == "__main__":
    sys.exit(main(__doc__, SCENARIOS))
