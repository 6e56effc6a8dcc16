"""lumidart.exe under Wine: Tab opens the camera's settings dialog once;
minimising presses its OK; closing the console with it open ends the
program.

Usage: python3 -m e2e.wine.settings_dialog_e2e --program EXE --camera DLL --driver EXE
       --prefix DIR --work DIR settings_dialog
"""

import os
import sys
import time

from ..harness.checks import check, wait_for
from ..harness.console import DEFAULT_QUAD, quad_bytes
from ..harness.wine_session import Fault, Session, check_settings, main, open_settings_dialog, start_console


def scenario_settings_dialog(args):
    """Tab opens the camera's settings dialog once; minimising presses its
    OK; closing the console with it open ends the program."""
    with Session(args, "settings_dialog") as s:
        s.register_camera()
        cwd = os.path.join(s.work, "run")
        program, win = start_console(s, cwd)

        open_settings_dialog(s)
        time.sleep(1.0)
        s.screenshot("property-frame")

        s.in_front()
        s.do("key tab")
        time.sleep(2.0)
        check(s.dialogs() == 1, "a second Tab opened another frame")

        s.minimise()
        wait_for("the frame to close through its OK", lambda: s.dialogs() == 0, timeout=15)
        s.screenshot("confirmed")

        s.restore_with_f12()
        s.wait_window("the console in front after F12", lambda w: w["foreground"])
        open_settings_dialog(s)
        with Fault("close with the settings dialog open") as fault:
            s.close(program)
            check(s.dialogs() == 0, "the frame outlived the program")
            fault.note("exit 0, frame closed")
            check_settings(cwd, fault, quad_bytes(DEFAULT_QUAD), "the defaults saved (no file before)")


if __name__ == "__main__":
    sys.exit(main(__doc__, {"settings_dialog": scenario_settings_dialog}))
