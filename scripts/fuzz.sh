#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time from its stored corpus and regression
# inputs: FUZZ_SECONDS (default 60) in all, two thirds for the library and one third for the log reader.
# Fails on any finding; the input that caused it is written to build/fuzz/artifacts/ and belongs in the
# target's regressions folder (fuzz/regressions/ or fuzz/log_regressions/) once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

total_seconds="${FUZZ_SECONDS:-60}"
log_reader_seconds=$((total_seconds / 3 > 0 ? total_seconds / 3 : 1))
library_seconds=$((total_seconds - log_reader_seconds > 0 ? total_seconds - log_reader_seconds : 1))

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

run_target ktrsdk_fuzz "$library_seconds" fuzz/corpus fuzz/regressions
run_target ktr_log_reader_fuzz "$log_reader_seconds" fuzz/log_corpus fuzz/log_regressions
