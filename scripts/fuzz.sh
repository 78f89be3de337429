#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a fixed time: first each kept regression input once,
# then fuzzing from the committed seeds plus the seeds made from media-factory files and the
# shipped data. Usage: scripts/fuzz.sh <fuzz build folder> [seconds per target] [target...]
# New findings are written to <build>/fuzz-findings/<target>/; a finding fails the run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-25}
shift $(($# < 2 ? $# : 2))
targets=("$@")
((${#targets[@]})) || targets=(option_text settings_file profile_catalogue probe hook_ranges output_name)

generated="$build/fuzz-seeds"
rm -rf "$generated"
"$build/bin/make_fuzz_seeds" "$root/data" "$generated" >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=0
for target in "${targets[@]}"; do
    binary="$build/bin/fuzz_$target"
    regressions="$root/fuzz/regressions/$target"
    corpus="$build/fuzz-corpus/$target"
    findings="$build/fuzz-findings/$target"
    mkdir -p "$corpus" "$findings"
    seeds=()
    for folder in "$root/fuzz/seeds/$target" "$generated/$target"; do
        [ -d "$folder" ] && seeds+=("$folder")
    done
    if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
        if ! "$binary" "$regressions"/* >"$build/fuzz-$target-regressions.log" 2>&1; then
            echo "fuzz_$target: a kept regression input fails again (see $build/fuzz-$target-regressions.log)"
            failed=1
            continue
        fi
    fi
    if "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -artifact_prefix="$findings/" -print_final_stats=1 "$corpus" "${seeds[@]}" \
        >"$build/fuzz-$target.log" 2>&1; then
        runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz-$target.log" | grep -o '[0-9]*$' || echo '?')
        echo "fuzz_$target: ${seconds}s, $runs inputs, nothing found"
    else
        echo "fuzz_$target: FOUND a fault (log $build/fuzz-$target.log, input in $findings/)"
        grep -m5 -E 'ERROR|fuzz finding|runtime error|SUMMARY' "$build/fuzz-$target.log" || true
        failed=1
    fi
done
exit $failed
