#!/usr/bin/env bash
# Builds the settings fuzzers, replays every regression file, then fuzzes each target for SECONDS on its own corpus;
# prints executions, coverage and findings, and fails on any finding. Usage: run.sh SECONDS [BUILD_DIR]
set -uo pipefail
seconds=${1:-600}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-$root/build/fuzz}
here=$root/tests/fuzz

cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build" -j "${JOBS:-2}" >/dev/null || exit 1

# The targets change into a scratch folder of their own, so every path given to them is absolute.
declare -A seeds=([fuzz_load]=load [fuzz_roundtrip]=load [fuzz_setup]=setup)
declare -A dictionary=([fuzz_load]=xml.dict [fuzz_roundtrip]=xml.dict [fuzz_setup]=setup.dict)
declare -A regressions=([fuzz_load]=load [fuzz_roundtrip]=roundtrip [fuzz_setup]=setup)
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=0
mkdir -p "$build/findings"
for target in fuzz_load fuzz_roundtrip fuzz_setup; do
    replay=("$here/regressions/${regressions[$target]}"/*)
    if ! "$build/$target" "${replay[@]}" >"$build/$target.replay.log" 2>&1; then
        echo "$target: a regression file fails again (see $build/$target.replay.log)"
        failed=1
    fi
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    rm -f "$build/findings/$target-"*
    "$build/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2560 \
        -dict="$here/${dictionary[$target]}" -artifact_prefix="$build/findings/$target-" \
        "$corpus" "$here/seeds/${seeds[$target]}" >"$build/$target.log" 2>&1
    status=$?
    executions=$(grep -o 'number_of_executed_units: *[0-9]*' "$build/$target.log" | grep -o '[0-9]*$')
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$build/$target.log" | tail -n 1)
    findings=$(find "$build/findings" -name "$target-*" | wc -l)
    printf '%-15s %5ss  executions %-9s %-22s corpus %-5s findings %s\n' "$target" "$seconds" "${executions:-?}" \
        "${coverage:-cov: ?}" "$(find "$corpus" -type f | wc -l)" "$findings"
    if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
        grep -E 'FUZZ PROPERTY|ERROR|runtime error|SUMMARY' "$build/$target.log" | head -n 5
        find "$build/findings" -name "$target-*"
        failed=1
    fi
done
exit $failed
