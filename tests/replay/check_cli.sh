#!/usr/bin/env bash
# Runs ktr replay as a user does: the default scenario, every bundled scenario with every output and the
# plot, then input errors, usage errors and lint, each with its exit status and message.
# Usage: check_cli.sh KTR SOURCE_DIR SCRATCH_DIR
set -euo pipefail
ktr=$1
source_dir=$2
scratch=$3
rm -rf "$scratch" && mkdir -p "$scratch"
source "$(dirname "$0")/../support/cli.sh"



"$ktr" replay >"$scratch/default.txt"
grep -q '^scenario: team meeting of six' "$scratch/default.txt" || fail "default scenario not replayed"

for scenario in "$source_dir"/examples/scenarios/*.json; do
    name=$(basename "$scenario" .json)
    "$ktr" replay "$scenario" --log --explain --json "$scratch/$name.jsonl" --csv "$scratch/$name.csv" \
        --log-file "$scratch/$name.log" >"$scratch/$name.txt"
    steps=$(($(wc -l <"$scratch/$name.jsonl") - 1))
    # --explain: the state after every step, a reason under every answer, no line the catalogue lacks.
    [ "$(grep -c '^      state local' "$scratch/$name.txt")" -eq "$steps" ] || fail "$name: a step without its state"
    grep -q '^      why  ' "$scratch/$name.txt" || fail "$name: no reasons"
    ! grep -q 'no known format matches' "$scratch/$name.txt" || fail "$name: an unknown line"
    ! grep -q 'MISMATCH' "$scratch/$name.txt" || fail "$name: the derived state contradicts an answer"
    grep -q '| I \[KTRMgr::init\]: ktr init' "$scratch/$name.txt" || fail "$name: --log shows no lines"
    # The log file holds every line of the timeline, each behind a time stamp and its level.
    lines=$(/usr/bin/python3 -c 'import json,sys; print(sum(len(json.loads(l)["rules"]) for l in list(open(sys.argv[1]))[1:]))' \
        "$scratch/$name.jsonl")
    [ "$(wc -l <"$scratch/$name.log")" -eq "$lines" ] || fail "$name: log file and timeline differ"
    grep -qE '^2000-01-01 00:00:00\.000 I ktrsdk \[KTRMgr::init\]: ktr init, uid=[0-9]+, dt=[0-9]+$' "$scratch/$name.log" ||
        fail "$name: log file prefix"
    [ "$(head -n 1 "$scratch/$name.csv")" = "step,time_s,kind,subject,uid,rank_or_dft,width,height,fps,bitrate,minbitrate,maxbitrate,changed,net_status,net_score" ] ||
        fail "$name: CSV header"
    /usr/bin/python3 "$source_dir/tools/plot_timeline.py" "$scratch/$name.csv" "$scratch/$name.png" --title "$name"
    [ -s "$scratch/$name.png" ] || fail "$name: no plot"
done

# Input errors: exit 2, naming the file (and the step and field where there is one).
echo '{"local": {"uid": 1, "dt": 8}, "steps": [{"step": "addUser", "uid": 2, "dt": 70000}]}' >"$scratch/bad.json"
expect_failure 2 "$scratch/bad.json: step 1 (addUser): field \"dt\": expected an integer from 0 to 65535, got 70000" \
    "$ktr" replay "$scratch/bad.json"
expect_failure 2 "$scratch/missing.json" "$ktr" replay "$scratch/missing.json"
expect_failure 2 "$scratch" "$ktr" replay "$scratch"
expect_failure 2 "$scratch/missing.so: cannot load the library" "$ktr" replay --lib "$scratch/missing.so"
expect_failure 2 "$scratch: cannot be written" "$ktr" replay --json "$scratch"
# Usage errors: exit 2 with the parser's message; help is not an error.
expect_failure 2 "--bogus" "$ktr" replay --bogus
expect_failure 2 "subcommand" "$ktr"
"$ktr" replay --help >"$scratch/help.txt"
grep -q -- '--explain' "$scratch/help.txt" || fail "help lacks --explain"

# - is standard input for the scenario and standard output for a streaming output; two outputs on - are refused.
"$ktr" replay - <"$source_dir/examples/scenarios/team-meeting.json" >"$scratch/stdin.txt"
"$ktr" replay "$source_dir/examples/scenarios/team-meeting.json" >"$scratch/file.txt"
cmp -s "$scratch/stdin.txt" "$scratch/file.txt" || fail "replay - differs from replay FILE"
"$ktr" replay --csv - >"$scratch/stdout.csv"
[ "$(head -n 1 "$scratch/stdout.csv")" = "$(head -n 1 "$scratch/team-meeting.csv")" ] || fail "--csv - is not the CSV alone"
expect_failure 2 "two outputs cannot both go to standard output" "$ktr" replay --json - --csv -
expect_failure 2 "standard input can be read only once" "$ktr" replay - --config - <"$source_dir/examples/scenarios/team-meeting.json"
# --plot draws the timeline as ktr log --plot does; a PNG cannot go to standard output.
"$ktr" replay "$source_dir/examples/scenarios/congested-download.json" --plot "$scratch/replay.png" >/dev/null
[ -s "$scratch/replay.png" ] || fail "replay --plot drew nothing"
expect_failure 2 "--plot" "$ktr" replay --plot -

# --version: ktr's version and the identity of the library it loads by default.
"$ktr" --version >"$scratch/version.txt"
grep -qE '^ktr [0-9]+\.[0-9]+\.[0-9]+$' "$scratch/version.txt" || fail "--version: $(cat "$scratch/version.txt")"
grep -qE '^soname: libktrsdk\.so\.[0-9]+$' "$scratch/version.txt" || fail "--version names no soname"
library=$(sed -n 's/^library: //p' "$scratch/version.txt")
[ "$(sed -n 's/^sha256: //p' "$scratch/version.txt")" = "$(sha256sum "$library" | cut -d' ' -f1)" ] ||
    fail "--version: the hash is not the library's"

# Lint: suspicious but accepted input is listed with --lint (exit 1) and summed up otherwise.
echo '{"local": {"uid": 1, "dt": 8}, "steps": [{"step": "downloadNet", "status": 9, "score": 90, "bitrate": 1, "max_bitrate": 0}]}' \
    >"$scratch/odd.json"
expect_failure 1 "" "$ktr" replay --lint "$scratch/odd.json"
grep -q 'step 1 (downloadNet)' "$scratch/out.txt" || fail "lint does not name the step"
"$ktr" replay "$scratch/odd.json" >/dev/null 2>"$scratch/err.txt"
grep -q 'suspicious input' "$scratch/err.txt" || fail "no lint summary by default"
# --lint exits 0 on clean input and 2 on input it cannot read, as the replay does.
"$ktr" replay --lint "$source_dir/examples/scenarios/team-meeting.json" >"$scratch/out.txt" ||
    fail "lint of a clean scenario exited $?"
grep -q ': 0 suspicious input(s)$' "$scratch/out.txt" || fail "lint of a clean scenario: $(cat "$scratch/out.txt")"
expect_failure 2 "$scratch/bad.json: step 1 (addUser)" "$ktr" replay --lint "$scratch/bad.json"
expect_failure 2 "$scratch/missing.json" "$ktr" replay --lint "$scratch/missing.json"

echo "ktr replay: $(ls "$source_dir"/examples/scenarios/*.json | wc -l) scenarios replayed with every output and plotted; errors and lint checked"
