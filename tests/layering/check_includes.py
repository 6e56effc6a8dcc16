#!/usr/bin/env python3
"""Fails when an include in src/ points up the layer order or across a
platform boundary.

The order is read from the README's layout table (rows "| N | `src/X/` |"),
so the table and this check cannot drift apart. A file may include its own
layer and the layers below it. Files named for a platform family may include
portable files and files of their own family; portable files include only
portable files and no operating-system header. Nothing in src/ includes the
test and demo equipment (virtualcam/, tests/); the virtual cameras in
virtualcam/ stand on the two lowest layers only (the shared record and the
platform plumbing), never on a subsystem, with the same platform rules.

Usage: check_includes.py SOURCE_ROOT  (the folder holding README.md and src/)
"""
import os
import re
import sys

FAMILIES = {
    "win32_": "windows", "dshow_": "windows",
    "x11_": "unix", "gst_": "unix", "posix_": "unix", "linux_": "unix",
}
# Headers that only a platform file may include.
SYSTEM_HEADERS = re.compile(
    r"^(windows\.h|dshow\.h|objbase\.h|ole2\.h|olectl\.h|strmif\.h|unknwn\.h|X11/.*|gst/.*|glib.*|"
    r"unistd\.h|poll\.h|fcntl\.h|signal\.h|pthread\.h|sys/.*|linux/.*)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
LAYER_ROW = re.compile(r"^\|\s*(\d+)\s*\|\s*`src/([a-z_]+)/`\s*\|")


def layer_order(readme_path):
    """The src/ folders from the README's layout table, lowest layer first."""
    rows = []
    with open(readme_path, encoding="utf-8") as readme:
        for line in readme:
            match = LAYER_ROW.match(line)
            if match:
                rows.append((int(match.group(1)), match.group(2)))
    numbers = [number for number, _ in rows]
    if not rows or numbers != list(range(1, len(rows) + 1)):
        raise ValueError("the README's layout table must number the src/ layers 1, 2, 3... in order")
    return [name for _, name in rows]


def family(path):
    base = os.path.basename(path)
    for prefix, name in FAMILIES.items():
        if base.startswith(prefix):
            return name
    return None


def sources(top):
    for folder, _, files in sorted(os.walk(top)):
        for name in sorted(files):
            if name.endswith((".h", ".cpp")):
                yield os.path.join(folder, name)


def problems(root):
    """Every broken rule under root/src and root/virtualcam, one line each."""
    order = layer_order(os.path.join(root, "README.md"))
    rank = {name: index for index, name in enumerate(order)}
    found = []
    for path in sources(os.path.join(root, "src")):
        relative = os.path.relpath(path, os.path.join(root, "src"))
        layer = relative.split(os.sep)[0]
        if layer not in rank:
            found.append(f"src/{relative}: folder src/{layer}/ is not in the README's layer table")
            continue
        found.extend(file_problems(path, f"src/{relative}", layer, rank))
    # The equipment sits on the lowest two layers and on itself.
    equipment = dict(rank)
    equipment.update({name: len(order) for name in order[2:]})
    equipment["virtualcam"] = len(order) - 1
    for path in sources(os.path.join(root, "virtualcam")):
        found.extend(file_problems(path, os.path.relpath(path, root), "virtualcam", equipment))
    return found


def file_problems(path, shown, layer, rank):
    found = []
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            where = f"{shown}:{number}"
            quoted, target = match.group(1) == '"', match.group(2)
            if not quoted:
                if family(path) is None and SYSTEM_HEADERS.match(target):
                    found.append(f"{where}: portable file includes the system header <{target}>")
                continue
            found.extend(f"{where}: {why}" for why in include_problems(path, layer, target, rank))
    return found


def include_problems(path, layer, target, rank):
    parts = target.split("/")
    if len(parts) < 2:
        return [f'"{target}" names no folder']
    if parts[0] not in rank:
        return [f'"{target}" is outside the product layers (test or demo equipment?)']
    result = []
    if rank[parts[0]] > rank[layer]:
        result.append(f'"{target}" points up: {parts[0]} is above {layer}')
    own, theirs = family(path), family(target)
    if theirs is not None and own != theirs:
        result.append(f'"{target}" crosses a platform boundary ({own or "portable"} file, {theirs} header)')
    return result


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    found = problems(sys.argv[1])
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) break the layer order", file=sys.stderr)
        return 1
    print("every include points down or sideways within its platform")
    return 0


if __name__ == "__main__":
    sys.exit(main())
