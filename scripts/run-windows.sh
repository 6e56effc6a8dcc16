#!/bin/sh
# Runs the Windows program under Wine on the current display: builds the
# windows preset if needed, registers the virtual camera in the program's
# own Wine prefix and starts lumidart.exe in the current directory, where it
# keeps Lumidart.set. Steer the camera's spot with a file of lines such as
# "spot_x 320" named by LUMIDART_VIRTUALCAM_CONTROL (a Windows path, e.g.
# Z:\tmp\spot.txt), or lumidart-virtualcam.txt in Wine's temporary folder.
set -eu
: "${DISPLAY:?run-windows.sh needs an X display}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/windows"

"$root/scripts/install-deps.sh"

if [ ! -f "$build/build.ninja" ]; then
    (cd "$root" && cmake --preset windows >/dev/null)
fi
cmake --build "$build" --target lumidart lumidart_virtualcam >/dev/null

"$root/scripts/wine-run.sh" wineboot --init >/dev/null 2>&1
"$root/scripts/wine-run.sh" regsvr32 /s "$build/lumidart-virtualcam.dll"
exec "$root/scripts/wine-run.sh" "$build/lumidart.exe"
