#!/bin/sh
# Rewrites the README screenshots, docs/preview.png and docs/threshold.png,
# from a run of the Linux program with the virtual camera on its own Xvfb.
set -eu
cd "$(dirname "$0")/.."
[ -f build/linux/build.ninja ] || cmake --preset linux >/dev/null
cmake --build build/linux --target lumidart gstlumidartvirtualcam >/dev/null
export GST_PLUGIN_PATH="$PWD/build/linux/gst-plugins"
cd tests
exec python3 -B -m e2e.x11.run_e2e ../build/linux/lumidart --screenshots ../docs
