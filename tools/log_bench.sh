#!/usr/bin/env bash
# The log reader's speed against grep on a large client log. Writes a seeded log of LOG_BENCH_MB MiB
# (default 1024): the library's lines from a replay's --log-file behind a host prefix, one line in five
# from another component; then, on the cached file, times `grep -c '\[KTR'` and the reader's loop
# (bench/log_bench.cpp) and the whole `ktr log --json /dev/null`, and reports their speeds, the ratios and
# the peak RSS. The log is deleted afterwards.
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
cat "$work/client.log" >/dev/null  # cached for both runs

# timed LABEL COMMAND...: prints LABEL, seconds and peak RSS in KiB
timed() {
    local label=$1
    shift
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out"
    read -r seconds rss <"$work/time"
    echo "$label $seconds $rss $(head -c 200 "$work/out" | tr '\n' ' ')"
}

grep_row=$(LC_ALL=C timed grep grep -c '\[KTR' "$work/client.log")
reader_row=$(timed reader "$build_dir/bench/log_bench" "$work/client.log")
command_row=$(timed ktr-log sh -c '"$0" log "$1" --json /dev/null >/dev/null' "$build_dir/ktr" "$work/client.log")
echo "log: $size_bytes bytes, $(wc -l <"$work/client.log") lines"
echo "$grep_row"
echo "$reader_row"
awk -v size="$size_bytes" -v g="$grep_row" -v r="$reader_row" -v c="$command_row" 'BEGIN {
    split(g, gf, " "); split(r, rf, " "); split(c, cf, " ")
    mib = size / 1048576
    gs = gf[2] > 0 ? gf[2] : 0.01; rs = rf[2] > 0 ? rf[2] : 0.01
    printf "grep:   %.2f s, %.0f MiB/s, peak RSS %.1f MiB\n", gf[2], mib / gs, gf[3] / 1024
    printf "reader: %.2f s, %.0f MiB/s, peak RSS %.1f MiB\n", rf[2], mib / rs, rf[3] / 1024
    cs = cf[2] > 0 ? cf[2] : 0.01
    printf "ktr log --json /dev/null: %.2f s, %.0f MiB/s, peak RSS %.1f MiB\n", cf[2], mib / cs, cf[3] / 1024
    printf "reader/grep speed: %.3f, ktr log/grep speed: %.3f (target >= 0.1)\n", gs / rs, gs / cs
}'
