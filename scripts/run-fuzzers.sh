#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time, two at a time:
#     scripts/run-fuzzers.sh BUILD_DIR SECONDS
# Each starts from its committed seeds (tests/fuzz/corpus/<target>, read only;
# fuzz_state also from generated hostile presets, as large as a preset may be)
# and keeps what it finds under BUILD_DIR/fuzz-corpus. A crash, a sanitizer
# report, a timeout or a failed check fails the run; the input that did it is
# left in BUILD_DIR/fuzz-artifacts and the end of the target's log is shown.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:?build directory}
seconds=${2:-45}
targets=(state smf events properties lv2)

mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
"$build/tests/fuzz/make_state_seeds" "$build/fuzz-seeds/state" || exit 1
run() {
    local t=$1 extra=()
    [ "$t" = state ] && extra=(-max_len=1048576 "$build/fuzz-seeds/state")  # the preset size limit
    mkdir -p "$build/fuzz-corpus/$t"
    "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-artifacts/$t-" "$build/fuzz-corpus/$t" "tests/fuzz/corpus/$t" "${extra[@]}" \
        > "$build/fuzz-logs/$t.log" 2>&1
}

failed=()
for ((i = 0; i < ${#targets[@]}; i += 2)); do
    pids=()
    for t in "${targets[@]:i:2}"; do
        run "$t" &
        pids+=("$!:$t")
    done
    for p in "${pids[@]}"; do
        if wait "${p%%:*}"; then
            t=${p#*:}
            echo "fuzz_$t: ok, $(grep -m1 -o 'stat::number_of_executed_units: [0-9]*' "$build/fuzz-logs/$t.log" | cut -d' ' -f2) runs"
        else
            failed+=("${p#*:}")
        fi
    done
done

for t in "${failed[@]}"; do
    echo "fuzz_$t: FAILED (log: $build/fuzz-logs/$t.log)"
    tail -n 40 "$build/fuzz-logs/$t.log"
done
[ ${#failed[@]} -eq 0 ]
