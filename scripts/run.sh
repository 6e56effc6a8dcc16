#!/bin/sh
# Builds the native Linux program if needed and starts it on the current
# display, with the virtual camera unless LUMIDART_SOURCE names another
# source. The settings file is kept in the directory it is started from.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "${DISPLAY:-}" ]; then
    echo "run.sh: no X display (DISPLAY is not set)" >&2
    exit 1
fi
(
    cd "$root"
    scripts/install-deps.sh
    [ -f build/linux/build.ninja ] || cmake --preset linux >/dev/null
    cmake --build build/linux --target lumidart gstlumidartvirtualcam >/dev/null
)
: "${LUMIDART_SOURCE:=lumidartvirtualcam}"
export LUMIDART_SOURCE
# The virtual camera is a plugin of the build, not of the system.
export GST_PLUGIN_PATH="$root/build/linux/gst-plugins${GST_PLUGIN_PATH:+:$GST_PLUGIN_PATH}"
exec "$root/build/linux/lumidart"
