#!/usr/bin/env bash
# A sweep killed (SIGKILL) at chosen points and started again with the same arguments gives the table of an
# uninterrupted one, with every run in its results file once; a results file cut inside its last line is
# redone from that line; a resume whose inputs changed is refused (exit 2). Then a sweep in which runs
# crash, hang and print garbage: the other runs' results are all there, every failure is named with what
# reruns it alone, and the exit status is 1.
# The stand-in build (ktrsdk_altered) kills the sweep, or fails, in the run whose command line names the
# trace given in KTR_STANDIN_FAULTS.
# Usage: check_resume.sh KTR STANDIN_LIBRARY SOURCE_DIR SCRATCH_PARENT
set -euo pipefail
ktr=$1
standin=$2
source_dir=$3
mkdir -p "$4"
scratch=$(mktemp -d "$4/resume.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
source "$(dirname "$0")/../support/cli.sh"

meeting="$source_dir/examples/meetings/team-meeting.json"
traces="$scratch/traces"
cp -r "$source_dir/examples/traces" "$traces"
mapfile -t names < <(ls "$traces")
[ "${#names[@]}" -ge 4 ] || fail "the bundled traces are fewer than 4"
third=${names[2]}
common=(sim "$meeting" --traces "$traces" --duration 60 --lib "$standin")
sweep=("${common[@]}" --jobs 1)

run_lines() { # FILE: the run lines' indices, sorted
    python3 -c 'import json,sys; print(sorted(json.loads(l)["index"] for l in open(sys.argv[1]).read().splitlines()[1:]))' "$1"
}

"$ktr" "${sweep[@]}" --results "$scratch/whole.jsonl" >"$scratch/whole.txt"
"$ktr" sim --merge "$scratch/whole.jsonl" >"$scratch/whole-merged.txt"
cmp -s "$scratch/whole.txt" "$scratch/whole-merged.txt" || fail "an uninterrupted sweep's table is not its merge's"
all_runs=$(run_lines "$scratch/whole.jsonl")

# Resumes FILE and checks that it now holds every run once and gives the uninterrupted sweep's table.
check_resumed() {
    local file=$1 what=$2
    "$ktr" "${sweep[@]}" --results "$file" >"$scratch/resumed.txt" || fail "$what: the resumed sweep failed"
    cmp -s "$scratch/resumed.txt" "$scratch/whole.txt" || fail "$what: the resumed sweep's table differs: $(diff "$scratch/resumed.txt" "$scratch/whole.txt")"
    [ "$(run_lines "$file")" = "$all_runs" ] || fail "$what: runs $(run_lines "$file"), not $all_runs"
    "$ktr" sim --merge "$file" | cmp -s - "$scratch/whole.txt" || fail "$what: the merged table differs"
}

for point in kill-parent kill-parent-late; do
    status=0
    KTR_STANDIN_FAULTS="$point=$third" "$ktr" "${sweep[@]}" --results "$scratch/$point.jsonl" >/dev/null 2>&1 || status=$?
    [ "$status" -eq 137 ] || fail "$point: the sweep was not killed (exit $status)"
    [ "$(run_lines "$scratch/$point.jsonl")" = "[0, 1]" ] || fail "$point: the killed sweep holds runs $(run_lines "$scratch/$point.jsonl")"
    cp "$scratch/$point.jsonl" "$scratch/$point-cut.jsonl"
    check_resumed "$scratch/$point.jsonl" "killed at $point of the third run"
done

# Killed while writing the second run's line: the file ends inside it.
size=$(stat -c %s "$scratch/kill-parent-cut.jsonl")
last=$(tail -n 1 "$scratch/kill-parent-cut.jsonl" | wc -c)
truncate -s $((size - last / 2)) "$scratch/kill-parent-cut.jsonl"
check_resumed "$scratch/kill-parent-cut.jsonl" "cut inside the last line"
# Killed while writing the header: nothing counts.
head -c 40 "$scratch/whole.jsonl" >"$scratch/header-cut.jsonl"
check_resumed "$scratch/header-cut.jsonl" "cut inside the header"

# What the runs depend on changed: the resume is refused and the file left as it was.
cp "$scratch/kill-parent-cut.jsonl" "$scratch/before.jsonl"
expect_failure 2 "the seed 8 is not 7" "$ktr" "${sweep[@]}" --seed 8 --results "$scratch/kill-parent-cut.jsonl"
expect_failure 2 "the library builds differ" "$ktr" sim "$meeting" --traces "$traces" --duration 60 --jobs 1 \
    --results "$scratch/kill-parent-cut.jsonl"
expect_failure 2 "it holds shard 1/1, not 1/2" "$ktr" "${sweep[@]}" --shard 1/2 --results "$scratch/kill-parent-cut.jsonl"
printf '0 1\n' >>"$traces/$third"
expect_failure 2 "the trace \"$third\" has another content" "$ktr" "${sweep[@]}" --results "$scratch/kill-parent-cut.jsonl"
cmp -s "$scratch/before.jsonl" "$scratch/kill-parent-cut.jsonl" || fail "a refused resume changed the results file"
cp "$source_dir/examples/traces/$third" "$traces/$third"

# Runs that crash, hang past the time limit and print garbage; the fourth is left alone.
status=0
KTR_STANDIN_FAULTS="crash=${names[0]},hang=${names[1]},garbage=$third" \
    "$ktr" "${common[@]}" --jobs 2 --timeout 2 --results "$scratch/failed.jsonl" >"$scratch/failed.txt" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "a sweep with failed runs exited $status, not 1: $(cat "$scratch/failed.txt")"
for text in "3 of 4 runs failed and are left out of the table:" \
    "${names[0]} (run 0): killed by signal 6 (Aborted)" "${names[1]} (run 1): timed out after 2 s" \
    "$third (run 2): its summary: "; do
    grep -qF -- "$text" "$scratch/failed.txt" || fail "no \"$text\" in: $(cat "$scratch/failed.txt")"
done
# The run that went well has the summary of the uninterrupted sweep; each failed one names what reruns it.
python3 - "$scratch/failed.jsonl" "$scratch/whole.jsonl" "$traces" <<'EOF'
import json, sys
failed = [json.loads(l) for l in open(sys.argv[1]).read().splitlines()[1:]]
whole = {r["index"]: r for r in (json.loads(l) for l in open(sys.argv[2]).read().splitlines()[1:])}
assert sorted(r["index"] for r in failed) == [0, 1, 2, 3], failed
for run in failed:
    if run["index"] == 3:
        assert run["summary"] == whole[3]["summary"], "the fourth run's summary differs"
        continue
    assert run["summary"] is None and run["failed"]["trace"].startswith(sys.argv[3]), run
    assert run["failed"]["meeting"].endswith("team-meeting.json") and run["failed"]["seed"] == 7 and any(run["failed"]["trace"] in a for a in run["failed"]["command"]), run
EOF
# A failed run's command reruns it alone: without the fault it gives the uninterrupted sweep's summary.
mapfile -t rerun < <(python3 -c '
import json, sys
runs = [json.loads(l) for l in open(sys.argv[1]).read().splitlines()[1:]]
print("\n".join([r for r in runs if r["index"] == 0][0]["failed"]["command"]))' "$scratch/failed.jsonl")
"${rerun[@]}" >"$scratch/rerun.json"
python3 - "$scratch/rerun.json" "$scratch/whole.jsonl" <<'EOF'
import json, sys
whole = {r["index"]: r for r in (json.loads(l) for l in open(sys.argv[2]).read().splitlines()[1:])}
assert json.load(open(sys.argv[1])) == whole[0]["summary"], "the rerun's summary differs"
EOF
# A failed run is a result: resuming runs nothing more, and the merge says the same.
status=0
"$ktr" "${common[@]}" --jobs 2 --timeout 2 --results "$scratch/failed.jsonl" >"$scratch/again.txt" 2>&1 || status=$?
[ "$status" -eq 1 ] && grep -qF "3 of 4 runs failed" "$scratch/again.txt" || fail "the resumed failed sweep: exit $status"
status=0
"$ktr" sim --merge "$scratch/failed.jsonl" >"$scratch/merged.txt" || status=$?
[ "$status" -eq 1 ] && cmp -s "$scratch/merged.txt" "$scratch/again.txt" || fail "the merge of a failed sweep: exit $status"
echo "sweeps resume and failures: ok"
