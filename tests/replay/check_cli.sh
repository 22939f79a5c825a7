#!/usr/bin/env bash
# Runs ktr-replay as a user does: every bundled scenario with --log and --csv, the default scenario, and
# a bad input that must fail with a message naming step and field.
# Usage: check_cli.sh KTR_REPLAY SOURCE_DIR SCRATCH_DIR
set -euo pipefail
replay=$1
source_dir=$2
scratch=$3
rm -rf "$scratch" && mkdir -p "$scratch"

"$replay" >"$scratch/default.txt"
grep -q '^scenario: team meeting of six' "$scratch/default.txt"

for scenario in "$source_dir"/examples/scenarios/*.json; do
    name=$(basename "$scenario" .json)
    "$replay" "$scenario" --log --csv "$scratch/$name.csv" >"$scratch/$name.txt"
    grep -q '| I \[KTRMgr::init\]: ktr init' "$scratch/$name.txt"
    [ "$(head -n 1 "$scratch/$name.csv")" = "step,question,subject,dft_or_rank,width,height,fps,bitrate,minbitrate,maxbitrate,changed" ]
    [ "$(wc -l <"$scratch/$name.csv")" -gt 1 ]
done

echo '{"local": {"uid": 1, "dt": 8}, "steps": [{"step": "addUser", "uid": 2, "dt": 70000}]}' >"$scratch/bad.json"
status=0
"$replay" "$scratch/bad.json" >/dev/null 2>"$scratch/bad.err" || status=$?
[ "$status" -eq 2 ]
grep -qx "$scratch/bad.json: step 1 (addUser): field \"dt\": expected an integer from 0 to 65535, got 70000" "$scratch/bad.err"
echo "ktr-replay: $(ls "$source_dir"/examples/scenarios/*.json | wc -l) scenarios replayed; bad input refused"
