#!/bin/sh
# Installs what is missing, then configures, builds and runs every test:
# native, under AddressSanitizer + UndefinedBehaviorSanitizer, under
# ThreadSanitizer, the fuzz targets under libFuzzer, and the Windows build
# under Wine.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# Prepare the Wine prefix once, before tests start Wine in parallel.
scripts/wine-run.sh wineboot --init >/dev/null 2>&1 || true

jobs="$(nproc)"
for preset in linux linux-asan linux-tsan linux-fuzz windows; do
    echo "=== $preset"
    CMAKE_BUILD_PARALLEL_LEVEL="$jobs" CTEST_PARALLEL_LEVEL="$jobs" cmake --workflow --preset "$preset"
done
