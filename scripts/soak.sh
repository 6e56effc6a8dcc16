#!/bin/sh
# The long soak: a million analysed frames through the whole program,
# restarted every 50,000, once in the plain build (memory must stay level)
# and once under AddressSanitizer (LeakSanitizer checks every run).
#   scripts/soak.sh [frames] [frames-per-run]
set -eu
cd "$(dirname "$0")/.."
frames="${1:-1000000}"
per_run="${2:-50000}"
for preset in linux linux-asan; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target pipeline_soak >/dev/null
done
for preset in linux linux-asan; do
    echo "=== $preset: pipeline_soak --frames $frames --frames-per-run $per_run"
    /usr/bin/time -f "wall %e s, max resident %M KiB" \
        "build/$preset/tests/pipeline_soak" --frames "$frames" --frames-per-run "$per_run"
done
