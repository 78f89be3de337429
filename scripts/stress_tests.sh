#!/usr/bin/env bash
# Runs test binaries whole, several times in a row, beside a busy core: the thread and event
# tests must not lean on how the machine schedules them. Stops at the first failing run.
#   scripts/stress_tests.sh [build folder] [runs] [binaries...]
# Defaults: build, 8 runs, test_engine. The load is one "yes" pinned to the last core (taskset)
# when there is more than one, else left to the scheduler.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-8}
shift $(($# > 2 ? 2 : $#))
binaries=("$@")
((${#binaries[@]})) || binaries=(test_engine)

cores=$(nproc)
if ((cores > 1)) && command -v taskset >/dev/null; then
    taskset -c $((cores - 1)) yes >/dev/null &
else
    yes >/dev/null &
fi
load=$!
trap 'kill "$load" 2>/dev/null || true' EXIT

export QT_QPA_PLATFORM=offscreen
passed=0
for ((run = 1; run <= runs; run++)); do
    for binary in "${binaries[@]}"; do
        path=$(find "$build" -name "$binary" -type f -perm -u+x | head -1)
        [ -n "$path" ] || { echo "no $binary in $build" >&2; exit 2; }
        log="$build/stress-$binary-$run.log"
        start=$SECONDS
        if ! "$path" >"$log" 2>&1; then
            echo "run $run: $binary FAILED (see $log)"
            grep -E '^\[  FAILED  \]|Failure|watchdog' "$log" | head -20 || true
            echo "$passed of $((runs * ${#binaries[@]})) runs passed before the failure"
            exit 1
        fi
        echo "run $run: $binary passed ($(grep -E '^\[  PASSED  \]' "$log" | head -1)) in $((SECONDS - start)) s"
        passed=$((passed + 1))
    done
done
echo "$passed of $((runs * ${#binaries[@]})) runs passed under load"
