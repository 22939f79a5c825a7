#!/usr/bin/env bash
# Writes a seeded client log of SIZE_MB MiB for the benchmarks: the library's lines of a simulated hour of
# the bundled large meeting (`ktr sim ... --duration 3600 --log-file`) behind a host prefix
# (`2024-03-01 HH:MM:SS.mmm L ktrsdk `), one line in five from another component. When the hour is
# shorter than SIZE_MB, it is written again with the time continuing forward (the date too).
# Usage: tools/make_client_log.sh KTR SIZE_MB SEED OUTPUT
set -euo pipefail
cd "$(dirname "$0")/.."

ktr=$1
size_mb=$2
seed=$3
out=$4
work="$(mktemp -d "${TMPDIR:-/tmp}/ktr-client-log.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The library's lines with their times and level marks, as the simulated host's logger writes them.
"$ktr" sim examples/meetings/large-meeting.json --duration 3600 --seed "$seed" --log-file "$work/library.log" >/dev/null

# Each line again behind the prefix, its time moved on by an hour per pass; one line in five from another
# component, chosen by awk's seeded generator. Days are counted from 2024-03-01 (19783 days after the epoch).
awk -v seed="$seed" -v limit="$((size_mb * 1024 * 1024))" '
    function civil(days,   era, dayOfEra, yearOfEra, dayOfYear, mp, year, month, day) {
        days += 719468
        era = int(days / 146097)
        dayOfEra = days - era * 146097
        yearOfEra = int((dayOfEra - int(dayOfEra / 1460) + int(dayOfEra / 36524) - int(dayOfEra / 146096)) / 365)
        dayOfYear = dayOfEra - (365 * yearOfEra + int(yearOfEra / 4) - int(yearOfEra / 100))
        mp = int((5 * dayOfYear + 2) / 153)
        day = dayOfYear - int((153 * mp + 2) / 5) + 1
        month = mp < 10 ? mp + 3 : mp - 9
        year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0)
        return sprintf("%04d-%02d-%02d", year, month, day)
    }
    BEGIN { n = 0; i = 0; bytes = 0 }
    # "2000-01-01 HH:MM:SS.mmm L ktrsdk TEXT": milliseconds since the start, the level mark and the text
    {
        split($2, hms, ":")
        ms[n] = (hms[1] * 3600 + hms[2] * 60 + hms[3]) * 1000 + 0.5
        marks[n] = $3
        texts[n] = substr($0, length($1) + length($2) + length($3) + length($4) + 5)
        ++n
    }
    END {
        srand(seed)
        startDay = 19783
        while (bytes < limit) {
            at = int(ms[i % n]) + int(i / n) * 3600000
            day = int(at / 86400000)
            if (day != lastDay || date == "") {
                date = civil(startDay + day)
                lastDay = day
            }
            of_day = at % 86400000
            stamp = sprintf("%s %02d:%02d:%02d.%03d", date, int(of_day / 3600000), int(of_day / 60000) % 60,
                            int(of_day / 1000) % 60, of_day % 1000)
            if (rand() < 0.2) {
                line = sprintf("%s I net rtp packet seq=%d ssrc=%d jitter=%d ms", stamp, int(rand() * 65536),
                               int(rand() * 1000000), int(rand() * 200))
            } else {
                line = stamp " " marks[i % n] " ktrsdk " texts[i % n]
                ++i
            }
            print line
            bytes += length(line) + 1
        }
    }' "$work/library.log" >"$out"
