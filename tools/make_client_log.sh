#!/usr/bin/env bash
# Writes a seeded client log of SIZE_MB MiB for the benchmarks: the library's lines from a replay of the
# bundled large meeting's --log-file behind a host prefix (one millisecond per line), one line in five from
# another component.
# Usage: tools/make_client_log.sh KTR SIZE_MB SEED OUTPUT
set -euo pipefail
cd "$(dirname "$0")/.."

ktr=$1
size_mb=$2
seed=$3
out=$4
work="$(mktemp -d "${TMPDIR:-/tmp}/ktr-client-log.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The library's lines with their level marks, as a replay writes them.
"$ktr" replay examples/scenarios/large-meeting.json --log-file "$work/library.log" >/dev/null
sed -n 's/^[^ ]* [^ ]* \([IWE]\) ktrsdk \(.*\)$/\1 \2/p' "$work/library.log" >"$work/texts"

# One line in five from another component, chosen by awk's seeded generator; one millisecond per line.
awk -v seed="$seed" -v limit="$((size_mb * 1024 * 1024))" '
    { texts[n++] = $0 }
    END {
        srand(seed)
        while (bytes < limit) {
            ms = line % 86400000
            stamp = sprintf("2024-03-01 %02d:%02d:%02d.%03d", int(ms / 3600000), int(ms / 60000) % 60,
                            int(ms / 1000) % 60, ms % 1000)
            if (rand() < 0.2) {
                out = sprintf("%s I net rtp packet seq=%d ssrc=%d jitter=%d ms", stamp, int(rand() * 65536),
                              int(rand() * 1000000), int(rand() * 200))
            } else {
                text = texts[next_text++ % n]
                out = sprintf("%s %s ktrsdk %s", stamp, substr(text, 1, 1), substr(text, 3))
            }
            print out
            bytes += length(out) + 1
            ++line
        }
    }' "$work/texts" >"$out"
