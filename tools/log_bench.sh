#!/usr/bin/env bash
# The log reader's speed against grep on a large client log. Writes a seeded log of LOG_BENCH_MB MiB
# (default 1024) with tools/make_client_log.sh (the library's lines of a simulated hour of the large meeting,
# cycled, behind a host prefix, one line in five from another component); then, on the cached file, times
# side by side `grep -c '\[KTR'`, the reader's loop (bench/log_bench.cpp), the whole
# `ktr log FILE --json /dev/null` and `ktr log FILE --summary S` with the table to /dev/null, and reports
# their speeds, peak RSS, the ratios to grep's speed and the load average before and after. The log is
# deleted afterwards.
# Usage: tools/log_bench.sh [BUILD_DIR]   (default build/bench, with ktr and bench/log_bench built)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${1:-build/bench}"
size_mb="${LOG_BENCH_MB:-1024}"
seed="${LOG_BENCH_SEED:-7}"
work="$(mktemp -d "${TMPDIR:-/tmp}/ktr-log-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

"$(dirname "$0")/make_client_log.sh" "$build_dir/ktr" "$size_mb" "$seed" "$work/client.log"

size_bytes=$(stat -c %s "$work/client.log")
cat "$work/client.log" >/dev/null  # cached for every run

# timed LABEL COMMAND...: prints LABEL, seconds, peak RSS in KiB and the start of the command's output
timed() {
    local label=$1
    shift
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out"
    read -r seconds rss <"$work/time"
    echo "$label $seconds $rss $(head -c 200 "$work/out" | tr '\n' ' ')"
}

echo "load before: $(uptime)"
grep_row=$(LC_ALL=C timed grep grep -c '\[KTR' "$work/client.log")
reader_row=$(timed reader "$build_dir/bench/log_bench" "$work/client.log")
json_row=$(timed json sh -c '"$0" log "$1" --json /dev/null >/dev/null' "$build_dir/ktr" "$work/client.log")
summary_row=$(timed summary sh -c '"$0" log "$1" --summary "$2" >/dev/null' "$build_dir/ktr" "$work/client.log" \
    "$work/summary.json")
echo "load after: $(uptime)"
echo "log: $size_bytes bytes, $(wc -l <"$work/client.log") lines"
echo "$grep_row"
echo "$reader_row"
awk -v size="$size_bytes" -v g="$grep_row" -v r="$reader_row" -v j="$json_row" -v s="$summary_row" '
    function row(label, fields, target,   seconds) {
        seconds = fields[2] > 0 ? fields[2] : 0.01
        printf "%-32s %7.2f s %6.0f MiB/s  peak RSS %6.1f MiB", label, fields[2], mib / seconds, fields[3] / 1024
        if (label != "grep -c") {
            printf "  %.3f of grep", gs / seconds
            if (target > 0) {
                printf " (target >= %.2f: %s)", target, (gs / seconds >= target ? "met" : "missed")
            }
        }
        printf "\n"
    }
    BEGIN {
        split(g, gf, " "); split(r, rf, " "); split(j, jf, " "); split(s, sf, " ")
        mib = size / 1048576
        gs = gf[2] > 0 ? gf[2] : 0.01
        row("grep -c", gf, 0)
        row("reader (bench/log_bench)", rf, 0)
        row("ktr log --json /dev/null", jf, 0.1)
        row("ktr log --summary S >/dev/null", sf, 0.15)
    }'
