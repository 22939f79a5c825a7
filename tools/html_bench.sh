#!/usr/bin/env bash
# The HTML report on large inputs, in headless Chromium (tools/html/web/bench.js): an hour-long simulated
# meeting of 25 (the bundled large meeting) and a 100 MiB client log (tools/make_client_log.sh). For each:
# the time ktr takes to write the report, its size, then per repetition the page's load time, the first
# detail shown and the frame times of a scripted pan. The inputs and reports are deleted afterwards.
# Usage: tools/html_bench.sh [BUILD_DIR]   (default build/bench, with ktr built; HTML_BENCH_MB, HTML_BENCH_RUNS)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${1:-build/bench}"
size_mb="${HTML_BENCH_MB:-100}"
runs="${HTML_BENCH_RUNS:-3}"
work="$(mktemp -d "${TMPDIR:-/tmp}/ktr-html-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# report LABEL HTML COMMAND...: writes the report, then times it in the browser
report() {
    local label=$1 html=$2
    shift 2
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
    read -r seconds rss <"$work/time"
    echo "$label: written in $seconds s (peak RSS $((rss / 1024)) MiB), $(awk -v b="$(stat -c %s "$html")" 'BEGIN { printf "%.1f", b / 1048576 }') MiB"
    node tools/html/web/bench.js "$html" "$runs"
}

report "sim large-meeting (3600 s, 25 people)" "$work/sim.html" \
    "$build_dir/ktr" sim examples/meetings/large-meeting.json --html "$work/sim.html"
tools/make_client_log.sh "$build_dir/ktr" "$size_mb" 7 "$work/client.log"
echo "log: $(stat -c %s "$work/client.log") bytes, $(wc -l <"$work/client.log") lines"
report "log ${size_mb} MiB" "$work/log.html" "$build_dir/ktr" log "$work/client.log" --html "$work/log.html"
