#!/bin/sh
# The long soaks. First a million analysed frames through the whole program
# in process, restarted every 50,000 frames, in the plain build (memory must
# stay level) and under AddressSanitizer (LeakSanitizer checks every run).
# Then the real Linux program on its own Xvfb with the virtual camera
# unpaced, closed and started again every two minutes, until the camera has
# delivered a million frames.
#   scripts/soak.sh [frames]
set -eu
cd "$(dirname "$0")/.."
frames="${1:-1000000}"
scripts/install-deps.sh
for preset in linux linux-asan; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target pipeline_soak lumidart gstlumidartvirtualcam >/dev/null
done
for preset in linux linux-asan; do
    echo "=== $preset: pipeline_soak --frames $frames --frames-per-run 50000"
    /usr/bin/time -f "wall %e s, max resident %M KiB" \
        "build/$preset/tests/pipeline_soak" --frames "$frames" --frames-per-run 50000
done
export GST_PLUGIN_PATH="$PWD/build/linux/gst-plugins"
echo "=== linux: e2e.x11.soak_e2e --frames $frames --run-seconds 120"
(cd tests && python3 -B -m e2e.x11.soak_e2e ../build/linux/lumidart --frames "$frames" --run-seconds 120)
