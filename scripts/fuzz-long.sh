#!/bin/sh
# Builds the linux-fuzz preset and fuzzes each target, one at a time, for at
# least the given number of executions (default 10,000,000), starting from a
# copy of its committed corpus. Prints per target the executions, executions
# per second, final corpus (inputs and bytes), edge coverage and features,
# wall time and the crashes found; fails if any target crashed.
#   scripts/fuzz-long.sh [executions]
# LUMIDART_FUZZ_TARGETS picks the targets (default: all four).
# LUMIDART_FUZZ_JOBS=N splits each target's executions over N processes
# that share its corpus (libFuzzer's -jobs), for the slow targets.
set -eu
cd "$(dirname "$0")/.."

runs="${1:-10000000}"
jobs="${LUMIDART_FUZZ_JOBS:-1}"
targets="${LUMIDART_FUZZ_TARGETS:-mapping_fuzz frame_sink_fuzz spot_detector_fuzz settings_loader_fuzz}"

cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-2}" >/dev/null

work="build/linux-fuzz/fuzz-long"
rm -rf "$work"
status=0
printf '%-22s %12s %8s %14s %6s %7s %8s %s\n' target executions exec/s corpus cov ft seconds crashes
for target in $targets; do
    dir="$work/$target"
    mkdir -p "$dir/corpus"
    cp tests/fuzz/corpus/"$target"/* "$dir/corpus/"
    start=$(date +%s)
    rc=0
    fuzzer="$PWD/build/linux-fuzz/tests/fuzz/$target"
    options="-timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=$PWD/$dir/"
    if [ "$jobs" -gt 1 ]; then
        # Each job writes fuzz-<n>.log in the current directory.
        # shellcheck disable=SC2086
        (cd "$dir" && "$fuzzer" -jobs="$jobs" -workers="$jobs" -runs=$((runs / jobs)) $options corpus \
            >log.jobs 2>&1) || rc=$?
        cat "$dir"/fuzz-*.log >"$dir/log"
    else
        # shellcheck disable=SC2086
        "$fuzzer" -runs="$runs" $options "$dir/corpus" >"$dir/log" 2>&1 || rc=$?
    fi
    seconds=$(($(date +%s) - start))
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | awk '{ n += $1 } END { print n }')
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | awk '{ n += $1 } END { print n }')
    # The last status line: "#N DONE cov: C ft: F corp: I/Bb ...".
    last=$(grep -E '^#[0-9]+' "$dir/log" | tail -n 1)
    cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
    corpus=$(echo "$last" | sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p')
    crashes=$(find "$dir" -maxdepth 1 -name 'crash-*' -o -maxdepth 1 -name 'leak-*' -o -maxdepth 1 -name 'timeout-*' \
        -o -maxdepth 1 -name 'oom-*' | wc -l)
    printf '%-22s %12s %8s %14s %6s %7s %8s %s\n' "$target" "${executions:-?}" "${speed:-?}" "${corpus:-?}" \
        "${cov:-?}" "${ft:-?}" "$seconds" "$crashes"
    if [ "$rc" -ne 0 ] || [ "$crashes" -ne 0 ]; then
        echo "  $target failed (exit $rc); log and reproducers in $dir" >&2
        status=1
    fi
done
exit $status
