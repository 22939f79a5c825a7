#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time from its stored corpus and regression
# inputs: FUZZ_SECONDS (default 60) in all, shared by weight (the table below): the library four shares,
# each of the tools' parsers one. Fails on any finding; the input that caused it is written to
# build/fuzz/artifacts/ and belongs in the target's regressions folder (the table's last column) once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

total_seconds="${FUZZ_SECONDS:-60}"

# NAME WEIGHT STORED_CORPUS STORED_REGRESSIONS
targets=(
    "ktrsdk_fuzz 4 fuzz/corpus fuzz/regressions"
    "ktr_log_reader_fuzz 1 fuzz/log_corpus fuzz/log_regressions"
    "ktr_scenario_fuzz 1 fuzz/scenario_corpus fuzz/scenario_regressions"
    "ktr_meeting_fuzz 1 fuzz/meeting_corpus fuzz/meeting_regressions"
    "ktr_trace_fuzz 1 fuzz/trace_corpus fuzz/trace_regressions"
    "ktr_settings_fuzz 1 fuzz/settings_corpus fuzz/settings_regressions"
    "ktr_results_fuzz 1 fuzz/results_corpus fuzz/results_regressions"
)
total_weight=0
for target in "${targets[@]}"; do
    read -r _ weight _ _ <<<"$target"
    total_weight=$((total_weight + weight))
done

cmake --preset fuzz
cmake --build --preset fuzz

# run_target NAME SECONDS STORED_CORPUS STORED_REGRESSIONS
run_target() {
    local name=$1 seconds=$2 corpus=$3 regressions=$4
    mkdir -p "build/fuzz/corpus-$name" build/fuzz/artifacts
    local inputs=("build/fuzz/corpus-$name" "$corpus")
    [ -d "$regressions" ] && inputs+=("$regressions")  # inputs of fixed findings, once there are any
    local status=0
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "build/fuzz/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -print_funcs=0 -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
        "${inputs[@]}" >"build/fuzz/$name.log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        tail -n 120 "build/fuzz/$name.log"
        echo "FAIL: the fuzzer $name found a problem (exit $status); the input is in build/fuzz/artifacts/"
        exit "$status"
    fi
    echo "$name:"
    grep -E '^(Done|stat::)' "build/fuzz/$name.log"
}

for target in "${targets[@]}"; do
    read -r name weight corpus regressions <<<"$target"
    seconds=$((total_seconds * weight / total_weight))
    run_target "$name" $((seconds > 0 ? seconds : 1)) "$corpus" "$regressions"
done
