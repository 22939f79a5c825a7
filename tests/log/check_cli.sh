#!/usr/bin/env bash
# Runs ktr log as a user does: on the log file of every bundled scenario's replay, in the replay's own prefix,
# in a logcat-style prefix through standard input and gzip-compressed, with a custom --prefix, split into
# rotated files, in times of day across midnight and without time; the download requests and camera streams
# it rebuilds must be those the replay answered, wherever the log carries them.
# Usage: check_cli.sh KTR SOURCE_DIR SCRATCH_DIR
set -euo pipefail
ktr=$1
source_dir=$2
scratch=$3
rm -rf "$scratch" && mkdir -p "$scratch"
source "$(dirname "$0")/../support/cli.sh"

# Compares the answers a rebuilt timeline (JSON Lines) carries with the replay's, question by question in
# order: download requests (uid, size, bitrates) and camera streams (size, bitrates); an answer the log
# cannot carry is null and skipped.
same_answers() {
    /usr/bin/python3 - "$1" "$2" <<'PY'
import json, sys
KEYS = ("uid", "width", "height", "bitrate", "maxbitrate", "minbitrate")
def answers(path):
    steps = [json.loads(line) for line in open(path)][1:]
    picked = []
    for step in steps:
        answer = step["answer"]
        if step["event"] in ("download", "upload") and answer and answer.get("channel", 1) != 2:
            records = answer["records"]
            picked.append((step["event"], None if records is None else [[r.get(k) for k in KEYS] for r in records]))
    return picked
rebuilt, replayed = answers(sys.argv[1]), answers(sys.argv[2])
assert [e for e, _ in rebuilt] == [e for e, _ in replayed], "other questions"
carried = [(a, b) for (_, a), (_, b) in zip(rebuilt, replayed) if a is not None]
assert carried and all(a == b for a, b in carried), "other answers"
PY
}

for scenario in "$source_dir"/examples/scenarios/*.json; do
    name=$(basename "$scenario" .json)
    "$ktr" replay "$scenario" --log-file "$scratch/$name.log" --json "$scratch/$name.replay.jsonl" >/dev/null

    "$ktr" log "$scratch/$name.log" --explain --csv "$scratch/$name.log.csv" --json "$scratch/$name.jsonl" --plot "$scratch/$name.png" \
        --summary "$scratch/$name.summary.json" >"$scratch/$name.txt"
    same_answers "$scratch/$name.jsonl" "$scratch/$name.replay.jsonl" || fail "$name: rebuilt answers differ"
    grep -q '^      why  ' "$scratch/$name.txt" || fail "$name: no reasons"
    [ -s "$scratch/$name.png" ] || fail "$name: no plot"
    grep -q ' 0 unknown library lines' "$scratch/$name.txt" || fail "$name: unknown lines"
    # The scenario rebuilt from the log replays to every decision the log shows.
    "$ktr" log "$scratch/$name.log" --scenario "$scratch/$name.rebuilt.json" >"$scratch/$name.rebuilt.txt"
    grep -qE 'reproduces ([0-9]+) of the \1 logged decisions' "$scratch/$name.rebuilt.txt" ||
        fail "$name: $(tail -n 1 "$scratch/$name.rebuilt.txt")"

    # Another host's prefix, interleaved with other components' lines, through standard input, gzip-compressed.
    awk '{ printf "12-06 10:%02d:%06.3f  1234  5678 %s ktrsdk: ", int(NR / 60) % 60, NR % 60, $3;
           for (i = 5; i <= NF; ++i) printf "%s%s", $i, (i < NF ? " " : "\n");
           if (NR % 3 == 0) print "12-06 10:00:00.000  1234  5679 I audio: jitter buffer 40 ms" }' \
        "$scratch/$name.log" | gzip >"$scratch/$name.logcat.gz"
    "$ktr" log - --json "$scratch/$name.logcat.jsonl" <"$scratch/$name.logcat.gz" >"$scratch/$name.logcat.txt"
    same_answers "$scratch/$name.logcat.jsonl" "$scratch/$name.replay.jsonl" || fail "$name: logcat answers differ"
    grep -qE 'of other components skipped' "$scratch/$name.logcat.txt" || fail "$name: no skip count"
done

# A prefix of the host's own, named by --prefix.
sed 's/^2000-01-01 \([0-9:.]*\) \([IWE]\) ktrsdk /<\2@\1> /' "$scratch/one-to-one-phone.log" >"$scratch/custom.log"
"$ktr" log "$scratch/custom.log" --prefix '<(?<level>[IWE])@(?<time>[0-9:.]+)> ' --json "$scratch/custom.jsonl" >/dev/null
same_answers "$scratch/custom.jsonl" "$scratch/one-to-one-phone.replay.jsonl" || fail "custom prefix: answers differ"

# The step times of a rebuilt timeline (JSON Lines), one per line.
step_times() {
    /usr/bin/python3 -c 'import json, sys; [print(json.loads(l)["time"]) for l in list(open(sys.argv[1]))[1:]]' "$1"
}

# Rotated logs: one log in three files, the middle one gzip-compressed and holding an unknown library line,
# read in the order given as one log; messages name a line by its file and its number there.
log="$scratch/one-to-one-phone.log"
total=$(wc -l <"$log")
head -n 10 "$log" >"$scratch/part1.log"
{ sed -n '11,20p' "$log"; echo "2000-01-01 00:00:13.000 I ktrsdk [KTRMgr::init]: changed"; } | gzip >"$scratch/part2.log.gz"
tail -n +21 "$log" >"$scratch/part3.log"
"$ktr" log "$scratch/part1.log" "$scratch/part2.log.gz" "$scratch/part3.log" --json "$scratch/parts.jsonl" \
    >"$scratch/parts.txt"
same_answers "$scratch/parts.jsonl" "$scratch/one-to-one-phone.replay.jsonl" || fail "rotated logs: answers differ"
grep -qF "lines: $((total + 1)) read, $total of the library" "$scratch/parts.txt" || fail "rotated logs: counts"
grep -qxF "unknown library line $scratch/part2.log.gz:11: [KTRMgr::init]: changed" "$scratch/parts.txt" ||
    fail "rotated logs: the unknown line is not named by its file and line"
expect_failure 2 "standard input (-) can be read only once" "$ktr" log - "$scratch/part1.log" -

# A time of day without a date continues across midnight, within a file and from one file to the next: the
# log moved to start at 23:59:55 rebuilds with the step times of the dated log.
awk '{ split($2, t, ":"); s = (t[1] * 3600 + t[2] * 60 + t[3] + 86395) % 86400;
       printf "%02d:%02d:%06.3f%s\n", int(s / 3600), int(s / 60) % 60, s - int(s / 60) * 60,
              substr($0, length($1) + length($2) + 2) }' "$log" >"$scratch/midnight.log"
grep -q '^23:59:5' "$scratch/midnight.log" && grep -q '^00:00:0' "$scratch/midnight.log" || fail "midnight: not crossed"
"$ktr" log "$scratch/midnight.log" --json "$scratch/midnight.jsonl" >/dev/null
[ "$(step_times "$scratch/midnight.jsonl")" = "$(step_times "$scratch/one-to-one-phone.jsonl")" ] ||
    fail "midnight: other step times"
head -n 15 "$scratch/midnight.log" >"$scratch/midnight1.log"
tail -n +16 "$scratch/midnight.log" >"$scratch/midnight2.log"
"$ktr" log "$scratch/midnight1.log" "$scratch/midnight2.log" --json "$scratch/midnight2.jsonl" >/dev/null
[ "$(step_times "$scratch/midnight2.jsonl")" = "$(step_times "$scratch/one-to-one-phone.jsonl")" ] ||
    fail "midnight between files: other step times"

# A log without time says so.
sed 's/^[^ ]* [^ ]* //' "$log" >"$scratch/timeless.log"
"$ktr" log "$scratch/timeless.log" >"$scratch/timeless.txt"
grep -qxF "warning: the log carries no time: durations are counted in steps" "$scratch/timeless.txt" ||
    fail "no time: no warning"
grep -qF "carries no time" "$scratch/one-to-one-phone.txt" && fail "a timed log said it carries no time"
# ... and every output counts in steps, never in seconds.
"$ktr" log "$scratch/timeless.log" --json "$scratch/timeless.jsonl" --summary "$scratch/timeless-summary.json" >/dev/null
/usr/bin/python3 - "$scratch/timeless.jsonl" "$scratch/timeless-summary.json" <<'PY' || fail "no time: outputs show seconds"
import json, sys
lines = [json.loads(line) for line in open(sys.argv[1])]
assert lines[0]["timed"] is False
assert lines[1:] and all(step["time"] is None for step in lines[1:])
assert json.load(open(sys.argv[2]))["time_unit"] == "steps"
PY
grep -q 'time span: [0-9.]* steps' "$scratch/timeless.txt" || fail "no time: the summary's span is not in steps"
! "$ktr" log "$scratch/timeless.log" --since 00:00:01 >/dev/null 2>"$scratch/err.txt" &&
    grep -qF "need a log whose prefix carries a time" "$scratch/err.txt" || fail "no time: --since accepted"

# --since, --until and --uid write what they select; the state is still the whole log's.
"$ktr" log "$scratch/team-meeting.log" --json "$scratch/all.jsonl" --state every >/dev/null
"$ktr" log "$scratch/team-meeting.log" --json "$scratch/window.jsonl" --state every --since 2000-01-01T00:00:10 \
    --until "2000-01-01 00:00:20" --uid 2002 >/dev/null
/usr/bin/python3 - "$scratch/all.jsonl" "$scratch/window.jsonl" <<'PY' || fail "filters: other steps or states"
import json, sys
every = {step["step"]: step for step in map(json.loads, list(open(sys.argv[1]))[1:])}
kept = [json.loads(line) for line in list(open(sys.argv[2]))[1:]]
assert kept and len(kept) < len(every)
for step in kept:
    assert 10 <= step["time"] <= 20, step["step"]
    assert "2002" in json.dumps([step["input"], step["answer"], step["rules"]]), step["step"]
    assert step["state"] == every[step["step"]]["state"], step["step"]
PY

# Bad input: a missing file and a bad pattern exit 2 with the reason.
status=0
"$ktr" log "$scratch/missing.log" 2>"$scratch/err.txt" >/dev/null || status=$?
[ "$status" -eq 2 ] && grep -q "missing.log" "$scratch/err.txt" || fail "missing file: exit $status"
status=0
"$ktr" log "$scratch/custom.log" --prefix '(?<time' 2>"$scratch/err.txt" >/dev/null || status=$?
[ "$status" -eq 2 ] || fail "bad pattern: exit $status"

# A gzip log cut short, and one whose data is corrupt: reported with exit 2, the lines before the damage
# still rebuilt and written.
gzip -c "$scratch/large-meeting.log" >"$scratch/whole.log.gz"
size=$(stat -c %s "$scratch/whole.log.gz")
head -c $((size / 2)) "$scratch/whole.log.gz" >"$scratch/cut.log.gz"
expect_failure 2 "cut.log.gz: the gzip data is cut short (truncated)" "$ktr" log "$scratch/cut.log.gz" \
    --json "$scratch/cut.jsonl"
steps=$(($(wc -l <"$scratch/cut.jsonl") - 1))
whole=$(($(wc -l <"$scratch/large-meeting.jsonl") - 1))
[ "$steps" -gt 0 ] && [ "$steps" -lt "$whole" ] || fail "cut gzip: $steps of $whole steps written"
grep -q '^lines: ' "$scratch/out.txt" || fail "cut gzip: no report of what was read"
cp "$scratch/whole.log.gz" "$scratch/corrupt.log.gz"
head -c 64 /dev/zero | dd of="$scratch/corrupt.log.gz" bs=1 seek=$((size / 2)) conv=notrunc status=none
expect_failure 2 "corrupt.log.gz: " "$ktr" log "$scratch/corrupt.log.gz" --json "$scratch/corrupt.jsonl"
expect_failure 2 "-: " "$ktr" log - <"$scratch/corrupt.log.gz"
[ "$(wc -l <"$scratch/corrupt.jsonl")" -gt 1 ] || fail "corrupt gzip: nothing written"
# Outputs on standard output: the text stays out of it; two of them are refused.
"$ktr" log "$scratch/team-meeting.log" --json - >"$scratch/stdout.jsonl"
cmp -s "$scratch/stdout.jsonl" "$scratch/team-meeting.jsonl" || fail "--json - is not the timeline alone"
expect_failure 2 "two outputs cannot both go to standard output" "$ktr" log "$scratch/team-meeting.log" --json - --summary -

echo "ktr log: $(ls "$source_dir"/examples/scenarios/*.json | wc -l) scenario logs rebuilt in three prefix styles;" \
    "rotated logs, midnight and a log without time read; bad input refused"
