#!/usr/bin/env bash
# Builds the libFuzzer target and runs it for a bounded time (FUZZ_SECONDS, default 60) from the stored
# corpus and regression inputs. Fails on any finding; the input that caused it is written to
# build/fuzz/artifacts/ and belongs in fuzz/regressions/ once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset fuzz
cmake --build --preset fuzz
mkdir -p build/fuzz/corpus build/fuzz/artifacts
inputs=(build/fuzz/corpus fuzz/corpus)
[ -d fuzz/regressions ] && inputs+=(fuzz/regressions)  # inputs of fixed findings, once there are any
status=0
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build/fuzz/fuzz/ktrsdk_fuzz -max_total_time="${FUZZ_SECONDS:-60}" -timeout=10 -rss_limit_mb=4096 \
    -print_funcs=0 -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
    "${inputs[@]}" >build/fuzz/fuzz.log 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
    tail -n 120 build/fuzz/fuzz.log
    echo "FAIL: the fuzzer found a problem (exit $status); the input is in build/fuzz/artifacts/"
    exit "$status"
fi
grep -E '^(Done|stat::)' build/fuzz/fuzz.log
