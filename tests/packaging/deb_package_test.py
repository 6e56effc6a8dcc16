#!/usr/bin/env python3
"""The Debian package as a desktop user gets it: builds it with cpack into a
scratch directory, then checks what it holds (the program, the menu entry,
the icon, the manual page, the copyright and changelog files, the udev rule
that opens /dev/uinput to the local session, owners and modes), that the
copyright file grants the MIT licence, that lintian reports no error, that desktop-file-validate accepts
the menu entry, that the manual page formats without a warning, and that
the menu entry starts the program in the home directory.

Usage: deb_package_test.py CPACK BUILD_DIR

One line per check: "ok  <check>" or "FAIL <check>: <reason>".
"""

import gzip
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

BINARY = "usr/bin/lumidart"
DESKTOP = "usr/share/applications/lumidart.desktop"
ICON = "usr/share/icons/hicolor/scalable/apps/lumidart.svg"
MANPAGE = "usr/share/man/man1/lumidart.1.gz"
COPYRIGHT = "usr/share/doc/lumidart/copyright"
CHANGELOG = "usr/share/doc/lumidart/changelog.gz"
UDEV_RULE = "usr/lib/udev/rules.d/70-lumidart-uinput.rules"
UINPUT_RULE = 'KERNEL=="uinput", SUBSYSTEM=="misc", TAG+="uaccess", OPTIONS+="static_node=uinput"'
LICENSE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "LICENSE")


class Failure(Exception):
    pass


def check(condition, reason):
    if not condition:
        raise Failure(reason)


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, **kwargs)


def build_package(cpack, build_dir, out_dir):
    result = run([cpack, "-G", "DEB", "-B", out_dir], cwd=build_dir)
    check(result.returncode == 0, "cpack failed:\n" + result.stdout + result.stderr)
    debs = [name for name in os.listdir(out_dir) if name.endswith(".deb")]
    check(len(debs) == 1, f"cpack made {debs}")
    return os.path.join(out_dir, debs[0])


def listing(deb):
    """{path: (mode, owner)} from dpkg -c, paths without the leading ./"""
    result = run(["dpkg-deb", "-c", deb])
    check(result.returncode == 0, result.stderr)
    entries = {}
    for line in result.stdout.splitlines():
        fields = line.split(None, 5)
        path = fields[5].removeprefix("./").rstrip("/")
        if path:
            entries[path] = (fields[0], fields[1])
    return entries


def check_contents(deb, _root, _build_dir):
    entries = listing(deb)
    for path in (BINARY, DESKTOP, ICON, MANPAGE, COPYRIGHT, CHANGELOG, UDEV_RULE):
        check(path in entries, f"{path} missing from {sorted(entries)}")
    for path, (mode, owner) in entries.items():
        check(owner == "root/root", f"{path} owned by {owner}")
        if mode.startswith("d"):
            wanted = "drwxr-xr-x"
        elif path == BINARY:
            wanted = "-rwxr-xr-x"
        else:
            wanted = "-rw-r--r--"
        check(mode == wanted, f"{path} has mode {mode}, not {wanted}")
    return f"{len(entries)} entries, the seven files present, root-owned, 0755/0644"


def check_udev_rule(deb, root, _build_dir):
    with open(os.path.join(root, UDEV_RULE), encoding="utf-8") as f:
        rules = [line.strip() for line in f if line.strip() and not line.startswith("#")]
    check(rules == [UINPUT_RULE], f"rules: {rules}")
    # Applied at installation, not only from the next boot.
    with tempfile.TemporaryDirectory(prefix="lumidart-control-") as control:
        result = run(["dpkg-deb", "-e", deb, control])
        check(result.returncode == 0, result.stderr)
        postinst = os.path.join(control, "postinst")
        check(os.access(postinst, os.X_OK), "no executable postinst")
        with open(postinst, encoding="utf-8") as f:
            script = f.read()
        check("udevadm trigger" in script, "the postinst triggers no udev event")
        syntax = run(["sh", "-n", postinst])
        check(syntax.returncode == 0, "postinst: " + syntax.stderr)
    return "the uinput rule, triggered by the postinst"


def check_lintian(deb, _root, _build_dir):
    result = run(["lintian", "--tag-display-limit", "0", deb])
    tags = [line for line in result.stdout.splitlines() if re.match(r"[EWIPXNCO]: ", line)]
    errors = [line for line in tags if line.startswith("E: ")]
    check(not errors, "\n".join(errors))
    # Anything else on the error output than the note about root means
    # lintian itself did not run through.
    noise = [line for line in result.stderr.splitlines() if "root privileges" not in line]
    check(not noise, "lintian: " + "\n".join(noise))
    warnings = [line for line in tags if line.startswith("W: ")]
    return f"no errors, {len(warnings)} warnings"


# The virtual camera's own names: its element, its GObject type and the
# scene it draws.
VIRTUAL_CAMERA = re.compile(r"virtualcam|VirtualCam|virtual_cam|SceneSettings|DrawScene", re.IGNORECASE)


def check_no_virtual_camera(deb, root, build_dir):
    """Test equipment stays out of what users install: no file of the
    package, no symbol of the program as built, no string of the packaged
    (stripped) program names the virtual camera."""
    files = [path for path in listing(deb) if VIRTUAL_CAMERA.search(path)]
    check(not files, f"packaged: {files}")
    symbols = run(["nm", "-C", os.path.join(build_dir, "lumidart")])
    check(symbols.returncode == 0 and symbols.stdout, "nm read no symbols: " + symbols.stderr)
    named = [line for line in symbols.stdout.splitlines() if VIRTUAL_CAMERA.search(line)]
    check(not named, "linked in: " + "\n".join(named[:5]))
    with open(os.path.join(root, BINARY), "rb") as program:
        check(b"lumidartvirtualcam" not in program.read(), "the packaged program names the element")
    return f"{len(symbols.stdout.splitlines())} symbols and the package's files, none of the virtual camera"


def desktop_entry(root):
    entry = {}
    with open(os.path.join(root, DESKTOP), encoding="utf-8") as f:
        group = None
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("["):
                group = line
            elif "=" in line and group == "[Desktop Entry]":
                key, value = line.split("=", 1)
                entry[key] = value
    return entry


def check_desktop_validate(_deb, root, _build_dir):
    result = run(["desktop-file-validate", os.path.join(root, DESKTOP)])
    complaints = [line for line in (result.stdout + result.stderr).splitlines() if "error" in line or "warning" in line]
    check(result.returncode == 0 and not complaints, result.stdout + result.stderr)
    entry = desktop_entry(root)
    check(entry.get("Type") == "Application" and entry.get("NoDisplay", "false") == "false",
          f"not shown in the menu: {entry}")
    check(entry.get("TryExec") == "lumidart", f"TryExec {entry.get('TryExec')}")
    icon = entry.get("Icon", "")
    check(os.path.basename(ICON) == icon + ".svg", f"Icon={icon} does not name {ICON}")
    return "valid, shown in the menu, icon " + icon


def exec_arguments(value):
    """The Exec key's arguments as a launcher splits them; its quoting is a
    subset of the shell's."""
    check("%" not in value, f"field codes in Exec: {value}")
    return shlex.split(value.replace("\\\\", "\\"))


def check_menu_start_directory(_deb, root, _build_dir):
    """A launcher may start the entry anywhere; the program must still run
    in the home directory, where it keeps Lumidart.set."""
    scratch = tempfile.mkdtemp(prefix="lumidart-exec-")
    try:
        home, elsewhere, stubs = (os.path.join(scratch, d) for d in ("home", "elsewhere", "bin"))
        for d in (home, elsewhere, stubs):
            os.mkdir(d)
        record = os.path.join(scratch, "started-in")
        stub = os.path.join(stubs, "lumidart")
        with open(stub, "w", encoding="utf-8") as f:
            f.write(f'#!/bin/sh\npwd > "{record}"\necho "$@" >> "{record}"\n')
        os.chmod(stub, 0o755)
        args = exec_arguments(desktop_entry(root)["Exec"])
        env = {"HOME": home, "PATH": stubs + ":/usr/bin:/bin"}
        result = run(args, cwd=elsewhere, env=env)
        check(result.returncode == 0, f"{shlex.join(args)}: {result.returncode} {result.stderr}")
        check(os.path.exists(record), f"{shlex.join(args)} did not start lumidart")
        with open(record, encoding="utf-8") as f:
            started_in, arguments = f.read().split("\n")[:2]
        check(os.path.realpath(started_in) == os.path.realpath(home), f"started in {started_in}, not {home}")
        check(arguments == "", f"started with arguments {arguments!r}")
        return "from another directory, lumidart runs in $HOME"
    finally:
        shutil.rmtree(scratch)


def package_version(deb):
    result = run(["dpkg-deb", "-f", deb, "Version"])
    check(result.returncode == 0, result.stderr)
    return result.stdout.strip()


def check_manpage(deb, root, _build_dir):
    with gzip.open(os.path.join(root, MANPAGE), "rt", encoding="utf-8") as f:
        source = f.read()
    # Wide lines: no word is hyphenated across a line end.
    result = run(["groff", "-man", "-Tutf8", "-ww", "-rLL=300n", "-P-cbou"], input=source)
    check(result.returncode == 0 and result.stderr == "", "groff: " + result.stderr)
    text = " ".join(result.stdout.split())
    version = package_version(deb)
    check(re.search(r"\.TH LUMIDART 1 .*\"Lumidart " + re.escape(version) + '"', source),
          f"manual page header does not carry version {version}")
    for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "USAGE", "ENVIRONMENT", "FILES", "EXIT STATUS"):
        check(re.search(r"^\.SH " + section + "$", source, re.M), f"no {section} section")
    for words in ("lumidart [--camera N|NAME] [--monitor N|NAME] [--pointer uinput|xtest] [--list-cameras] [--help] "
                  "[--version]", "Lumidart.cam", "F12", "Lumidart.set in the current directory",
                  "LUMIDART_SOURCE", "XTest", "Wayland"):
        check(words in text, f"the manual page does not say {words!r}")
    return f"formats without a warning, version {version}"


def check_documentation(deb, root, _build_dir):
    with open(os.path.join(root, COPYRIGHT), encoding="utf-8") as f:
        copyright_text = f.read()
    check(copyright_text.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"),
          "copyright is not in the machine-readable format")
    for field in ("Upstream-Name", "Files", "Copyright", "License"):
        check(re.search(r"^" + field + ": \\S", copyright_text, re.M), f"copyright has no {field} field")
    # MIT, as Debian names it, word for word the repository's licence.
    check(re.search(r"^Copyright: 2026 the Lumidart developers$", copyright_text, re.M), "copyright holder")
    licence = re.search(r"^License: (\S+)\n((?: .*\n?)+)", copyright_text, re.M)
    check(licence and licence.group(1) == "Expat", "copyright does not grant the Expat (MIT) licence")
    granted = " ".join("" if line == " ." else line for line in licence.group(2).splitlines())
    with open(LICENSE, encoding="utf-8") as f:
        mit = f.read()
    check(mit.startswith("MIT License\n\nCopyright (c) 2026 the Lumidart developers\n"), "LICENSE is not MIT")
    check(" ".join(granted.split()) == " ".join(mit.split("\n\n", 2)[2].split()),
          "the copyright file's licence text is not the LICENSE file's")
    with gzip.open(os.path.join(root, CHANGELOG), "rt", encoding="utf-8") as f:
        first = f.readline()
    version = package_version(deb)
    check(first.startswith(f"lumidart ({version}) "), f"changelog starts {first!r}, package is {version}")
    return "copyright machine-readable and MIT (Expat), changelog at " + version


CHECKS = [
    ("contents", check_contents),
    ("udev rule", check_udev_rule),
    ("lintian", check_lintian),
    ("no virtual camera", check_no_virtual_camera),
    ("desktop entry", check_desktop_validate),
    ("menu start directory", check_menu_start_directory),
    ("manual page", check_manpage),
    ("copyright and changelog", check_documentation),
]


def main():
    cpack, build_dir = sys.argv[1], sys.argv[2]
    scratch = tempfile.mkdtemp(prefix="lumidart-deb-")
    failed = 0
    try:
        deb = build_package(cpack, build_dir, scratch)
        root = os.path.join(scratch, "root")
        result = run(["dpkg-deb", "-x", deb, root])
        check(result.returncode == 0, result.stderr)
        for name, procedure in CHECKS:
            try:
                print(f"ok   {name}: {procedure(deb, root, build_dir)}", flush=True)
            except (Failure, OSError) as failure:
                failed += 1
                print(f"FAIL {name}: {failure}", flush=True)
    except Failure as failure:
        failed += 1
        print(f"FAIL package: {failure}", flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
