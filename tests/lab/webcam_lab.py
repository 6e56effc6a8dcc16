"""In the lab guest: the Linux program on vivid as a webcam. It must stream
640 x 480 at the highest rate the device lists for that size and show the
device's colour bars; the settings dialog must drive the device's controls.
Then what later scenarios of a desktop session build on: udevd, a user
and uinput. Last, with udevd running, the camera list and choice over
vivid's two webcams.

Usage (in the guest, from tests/): python3 -m lab.webcam_lab LUMIDART
"""

import os
import sys
import time

from e2e.harness.checks import Failure, check, wait_for
from e2e.harness.console import SETTINGS_DIALOG
from e2e.harness.display import Screen
from e2e.harness.linux_program import Program, open_settings_dialog

from .cameras_lab import check_choice, check_list
from .guest import (add_user, get_ctrl, highest_rate, load_vivid, run_scenario, running_mode, set_ctrl, sh,
                    start_udevd, v4l2)

# vivid's default pattern, 75% colour bars, as the console shows them:
# each bar's channels either about 191 or 0.
BARS = [(1, 1, 1), (1, 1, 0), (0, 1, 1), (0, 1, 0), (1, 0, 1), (1, 0, 0), (0, 0, 1), (0, 0, 0)]
BAR_ROW = 300


def shows_bars(px):
    for i, on in enumerate(BARS):
        colour = px(80 * i + 20, BAR_ROW)
        channels = (colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF)
        if any(abs(c - (191 if o else 0)) > 24 for c, o in zip(channels, on)):
            return False
    return True


def start(screen, program, workdir, device):
    os.makedirs(workdir, exist_ok=True)
    started = time.monotonic()
    p = Program(screen, program, workdir, source="v4l2src device=" + device)
    p.wait_for_window(retry=False)
    mapped = time.monotonic() - started
    screen.xdo("mousemove", 5, 5)
    p.wait_picture("the device's colour bars", shows_bars, timeout=20)
    return p, mapped


def check_mode(screen, program, workdir, device):
    rate = highest_rate(device, 640, 480)
    p, mapped = start(screen, program, os.path.join(workdir, "mode"), device)
    width, height, running, fourcc = running_mode(device)
    check((width, height) == (640, 480) and abs(running - rate) < 0.01,
          "the device runs %dx%d at %g, not 640x480 at %g" % (width, height, running, rate))
    p.close_with_keyboard()
    p.exit_code()
    return "%s 640x480 at %g, the highest listed; console mapped after %.0f s" % (fourcc, rate, mapped)


# Dialog layout (pixels in its window), as the program draws it: rows
# that the screen cannot hold go on in further columns.
ROW0_TOP, ROW_HEIGHT, COLUMN_WIDTH = 10, 26, 420
ROWS_PER_COLUMN = (768 - 80 - 2 * 10 - 26) // 26
STEP_X = {"<<": 10 + 150, "<": 10 + 184, ">": 10 + 150 + 2 * 34 + 80, ">>": 10 + 150 + 3 * 34 + 80}


def dialog_rows(device):
    """The controls the dialog must list, in the device's order: integer,
    boolean and menu controls that are readable and writable."""
    rows = []
    for line in v4l2(device, "--list-ctrls").splitlines():
        fields = line.split()
        if len(fields) < 4 or not fields[1].startswith("0x"):
            continue
        kind = fields[2].strip("()")
        flags = line.split("flags=", 1)[1] if "flags=" in line else ""
        if kind in ("int", "bool", "menu") and "read-only" not in flags and "write-only" not in flags \
                and "disabled" not in flags:
            rows.append(fields[0])
    return rows


def step(screen, dialog, rows, name, button, times=1):
    left, top = screen.origin(dialog)
    column, row = divmod(rows.index(name), ROWS_PER_COLUMN)
    for _ in range(times):
        screen.xdo("mousemove", left + column * COLUMN_WIDTH + STEP_X[button] + 15,
                   top + ROW0_TOP + row * ROW_HEIGHT + 10, "click", 1)


def dialog_key(screen, dialog, key):
    screen.xdo("windowactivate", "--sync", dialog)
    screen.xdo("key", key)


def check_dialog(screen, program, workdir, device):
    p, _ = start(screen, program, os.path.join(workdir, "dialog"), device)
    rows = dialog_rows(device)
    for name in ("brightness", "contrast", "saturation", "hue", "gain", "gain_automatic", "menu", "test_pattern"):
        check(name in rows, "%s missing from %r" % (name, rows))
    dialog = open_settings_dialog(p)
    left, top, width, height = screen.geometry(dialog)
    columns = -(-len(rows) // ROWS_PER_COLUMN)
    check(columns > 1 and rows.index("percentage_of_dropped_buffers") >= ROWS_PER_COLUMN,
          "vivid's %d controls fit one column" % len(rows))
    check((width, height) == (columns * COLUMN_WIDTH, 10 + ROWS_PER_COLUMN * 26 + 10 + 26),
          "the dialog is %dx%d for %d controls" % (width, height, len(rows)))
    check(left >= 0 and top >= 0 and left + width <= 1024 and top + height <= 768,
          "the dialog at %d,%d %dx%d leaves the screen" % (left, top, width, height))
    names = ("brightness", "contrast", "hue", "menu", "gain", "percentage_of_dropped_buffers")
    before = {name: get_ctrl(device, name) for name in names}
    step(screen, dialog, rows, "brightness", ">>", 2)
    wait_for("brightness stepped on the device", lambda: get_ctrl(device, "brightness") == before["brightness"] + 20)
    step(screen, dialog, rows, "hue", "<")
    wait_for("hue stepped on the device", lambda: get_ctrl(device, "hue") == before["hue"] - 1)
    # vivid's menu lacks item 2: a step goes on to the next item there is.
    step(screen, dialog, rows, "menu", "<")
    wait_for("the menu stepped past its gap", lambda: get_ctrl(device, "menu") == 1)
    # A row of the second column.
    step(screen, dialog, rows, "percentage_of_dropped_buffers", ">")
    wait_for("a second column's control stepped", lambda: get_ctrl(device, "percentage_of_dropped_buffers") == 1)
    # Gain is inactive while automatic gain is on: stepping it must do no harm.
    step(screen, dialog, rows, "gain", ">")
    # Cancel (Escape) restores every control it changed.
    dialog_key(screen, dialog, "Escape")
    wait_for("the dialog closed by Cancel", lambda: not screen.windows_titled(SETTINGS_DIALOG))
    after = {name: get_ctrl(device, name) for name in ("brightness", "hue", "menu", "percentage_of_dropped_buffers")}
    check(after == {k: before[k] for k in after}, "Cancel left %r, not %r" % (after, before))
    check(get_ctrl(device, "gain_automatic") == 1, "automatic gain switched off")
    # OK (Return) keeps them.
    dialog = open_settings_dialog(p, "the dialog again")
    step(screen, dialog, rows, "contrast", "<<")
    wait_for("contrast stepped on the device", lambda: get_ctrl(device, "contrast") == before["contrast"] - 10)
    step(screen, dialog, rows, "brightness", ">")
    dialog_key(screen, dialog, "Return")
    wait_for("the dialog closed by OK", lambda: not screen.windows_titled(SETTINGS_DIALOG))
    kept = (get_ctrl(device, "contrast"), get_ctrl(device, "brightness"))
    check(kept == (before["contrast"] - 10, before["brightness"] + 1), "OK kept %r" % (kept,))
    set_ctrl(device, brightness=before["brightness"], contrast=before["contrast"])
    check(p.state() == "Normal", "the console left its preview")
    p.wait_picture("the picture after the dialog", shows_bars)
    p.close_with_keyboard()
    p.exit_code()
    return "%d controls listed; steps reach the device, Cancel restores, OK keeps" % len(rows)


def menu_index(device, control, item):
    """The index of a menu control's item, by its name."""
    inside = False
    for line in v4l2(device, "--list-ctrls-menus").splitlines():
        if line.split() and line.split()[0] == control:
            inside = True
        elif inside and ":" in line and line.strip()[0].isdigit():
            index, name = line.strip().split(":", 1)
            if name.strip() == item:
                return int(index)
        elif inside:
            break
    raise Failure("%s has no item %r" % (control, item))


def settled(device, name, quiet=2.0, timeout=60):
    """A control's value once it has stopped changing for quiet seconds."""
    deadline = time.monotonic() + timeout
    value, since = get_ctrl(device, name), time.monotonic()
    while time.monotonic() < deadline:
        time.sleep(0.25)
        now = get_ctrl(device, name)
        if now != value:
            value, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet:
            return value
    raise Failure("%s still changing after %d s" % (name, timeout))


def box_reds(px):
    """The highest red inside the default quad's Search box (client
    coordinates: frame rows 40 to 440)."""
    return max(px(x, 479 - row) >> 16 for row in range(40, 441, 4) for x in range(40, 601, 4))


def check_exposure(screen, program, workdir, device):
    """E on a real camera without an exposure control and with its gain
    under automatic control (inactive, and changing by itself): the
    assistant passes over the gain and turns the brightness down until the
    box stays at red 200 or below; a second E on the clean picture changes
    nothing."""
    p, _ = start(screen, program, os.path.join(workdir, "exposure"), device)
    set_ctrl(device, gain_automatic=1)
    set_ctrl(device, test_pattern=menu_index(device, "test_pattern", "100% Colorbar"))
    p.wait_picture("the white bar saturated", lambda px: box_reds(px) >= 250)
    brightness = get_ctrl(device, "brightness")
    started = time.monotonic()
    p.key("e")
    wait_for("the brightness turned", lambda: get_ctrl(device, "brightness") != brightness, timeout=30)
    darker = settled(device, "brightness")
    took = time.monotonic() - started - 2.0
    check(darker < brightness, "brightness %d, was %d" % (darker, brightness))
    p.key("space")
    p.wait_picture("the box at red 200 or below", lambda px: box_reds(px) <= 200)
    p.key("e")
    check(settled(device, "brightness", timeout=30) == darker, "a second search on a clean picture changed it")
    p.close_with_keyboard()
    p.exit_code()
    set_ctrl(device, test_pattern=0, brightness=brightness)
    return "brightness %d -> %d in about %.0f s" % (brightness, darker, took)


def check_session_equipment(device):
    """What a desktop session in the guest needs: udevd applying the
    system's rules, an unprivileged user and uinput."""
    start_udevd()
    uid = add_user("presenter")
    check(uid != 0, "the user is root")
    check(os.path.exists("/dev/uinput"), "no /dev/uinput")
    sh("su", "presenter", "-c", "v4l2-ctl -d %s --info" % device)
    return "udevd running, user uid %d opens %s through the video group" % (uid, device)


def checks(program, workdir, timed):
    devices = load_vivid(n_devs=2, node_types="0x1,0x1", input_types="0x0,0x0")
    device = devices[0]
    screen = Screen(workdir)
    try:
        timed.run("webcam: the fastest 640x480 mode and its picture", check_mode, screen, program, workdir, device)
        timed.run("webcam: the settings dialog drives the controls", check_dialog, screen, program, workdir, device)
        timed.run("webcam: E turns the brightness down until only a laser would count", check_exposure, screen,
                  program, workdir, device)
        timed.run("guest: udevd, a user, uinput", check_session_equipment, device)
        timed.run("cameras: both webcams listed", check_list, program, devices)
        timed.run("cameras: chosen, switched and remembered", check_choice, screen, program, workdir, devices)
    finally:
        screen.close()


if __name__ == "__main__":
    sys.exit(run_scenario(checks))
