#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a while, one after another, starting from its seed corpus.
# Fails on the first crash, leak, sanitizer report or input that hangs; the input is kept beside the log.
# Usage: tests/fuzz/run-fuzzers.sh BUILD_DIR SECONDS [TARGET...]
# FUZZ_MAX_RUNS=N ends a target earlier, after N inputs.
set -euo pipefail

build=$1
seconds=$2
shift 2
source_dir=$(cd "$(dirname "$0")" && pwd)
work="$build/fuzz-runs"
mkdir -p "$work"

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    for program in "$build"/fuzzers/*; do
        [[ -x "$program" && -f "$program" ]] && targets+=("$(basename "$program")")
    done
fi
[[ ${#targets[@]} -gt 0 ]] || { echo "run-fuzzers: no fuzz targets in $build/fuzzers" >&2; exit 1; }

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
limits=(-max_total_time="$seconds")
[[ -n "${FUZZ_MAX_RUNS:-}" ]] && limits+=(-runs="$FUZZ_MAX_RUNS")
status=0
for target in "${targets[@]}"; do
    corpus="$work/$target/corpus"
    log="$work/$target/log.txt"
    mkdir -p "$corpus"
    # New inputs go to the working corpus; the seeds in the repository stay as they are.
    if "$build/fuzzers/$target" "${limits[@]}" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
        -artifact_prefix="$work/$target/" "$corpus" "$source_dir/corpus/$target" >"$log" 2>&1 &&
        ! grep -q "runtime error:" "$log"; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
        time=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\2/p' "$log" | tail -n 1)
        echo "fuzz $target: ${runs:-?} runs in ${time:-$seconds} s, nothing found"
    else
        echo "fuzz $target: FAILED (log: $log)" >&2
        grep -E "ERROR|runtime error|broken promise|Test unit written" "$log" | head -n 20 >&2 || tail -n 30 "$log" >&2
        status=1
    fi
done
exit $status
