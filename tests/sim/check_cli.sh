#!/usr/bin/env bash
# Runs ktr sim as a user does: every bundled meeting over a bundled trace and over a Mahimahi trace written
# here, with every output; a sweep, its shards merged, and a run alone equal to the same run in the sweep;
# the recorded calls replayed to the same log lines; bad meetings and traces refused.
# Usage: check_cli.sh KTR SOURCE_DIR SCRATCH_DIR
set -euo pipefail
ktr=$1
source_dir=$2
scratch=$3
rm -rf "$scratch" && mkdir -p "$scratch/traces"
source "$(dirname "$0")/../support/cli.sh"


# A Mahimahi trace: 2 packets a millisecond for 500 ms, then 1 (24 then 12 Mbit/s).
for ms in $(seq 1 1000); do
    echo "$ms"
    [ "$ms" -le 500 ] && echo "$ms"
done >"$scratch/traces/office.mahimahi"
cp "$source_dir"/examples/traces/synthetic-tunnel-outage.mbps "$source_dir"/examples/traces/synthetic-office-steps.mbps \
    "$scratch/traces/"

for meeting in "$source_dir"/examples/meetings/*.json; do
    name=$(basename "$meeting" .json)
    for trace in "$source_dir/examples/traces/synthetic-train-walk.mahimahi" "$scratch/traces/office.mahimahi"; do
        "$ktr" sim "$meeting" --downlink "$trace" --uplink constant:2mbps --duration 120 --summary "$scratch/$name.json" \
            --json "$scratch/$name.jsonl" --csv "$scratch/$name.csv" --plot "$scratch/$name.png" >"$scratch/$name.txt"
        grep -q '^time_upper_pct ' "$scratch/$name.txt" || fail "$name: no metric table"
        /usr/bin/python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); assert s["metrics"]["freezes_per_min"]["better"] == "lower"' \
            "$scratch/$name.json" || fail "$name: summary"
        [ -s "$scratch/$name.png" ] && [ -s "$scratch/$name.csv" ] && [ -s "$scratch/$name.jsonl" ] || fail "$name: outputs"
    done
done

# Conference mode: every bundled meeting runs with everybody on the library, twice to the same bytes.
for meeting in "$source_dir"/examples/meetings/*.json; do
    name=$(basename "$meeting" .json)
    for run in 1 2; do
        "$ktr" sim "$meeting" --conference --downlink "$source_dir/examples/traces/synthetic-train-walk.mahimahi" \
            --uplink constant:2mbps --duration 60 --summary "$scratch/$name-conference-$run.json" \
            --json "$scratch/$name-conference-$run.jsonl" >/dev/null || fail "$name --conference: exit status $?"
    done
    cmp -s "$scratch/$name-conference-1.json" "$scratch/$name-conference-2.json" &&
        cmp -s "$scratch/$name-conference-1.jsonl" "$scratch/$name-conference-2.jsonl" ||
        fail "$name --conference: two runs of the same meeting, traces and seed differ"
done

# A conference's text names the meeting's distribution over its participants and each participant's row.
"$ktr" sim "$source_dir/examples/meetings/team-meeting.json" --conference --duration 30 >"$scratch/conference.txt"
grep -qx "the meeting, over its 8 participants (each one's value as the local one's):" "$scratch/conference.txt" ||
    fail "--conference: no table of the participants"
[ "$(grep -cE '^participant [0-9]+ ' "$scratch/conference.txt")" -eq 8 ] || fail "--conference: not 8 participants' rows"

# Links named per participant: the local participant's are its own; outside a conference they are not used.
cat >"$scratch/own-links.json" <<'JSON'
{"local": {"uid": 1, "downlink": "constant:300kbps", "uplink": "constant:1mbps"}, "duration_s": 10,
 "peers": [{"uid": 2, "uplink": "constant:200kbps"}, {"uid": 3}]}
JSON
"$ktr" sim "$scratch/own-links.json" --conference --summary-only >"$scratch/own-links-summary.json"
/usr/bin/python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); assert (s["downlink"], s["uplink"]) == ("constant:300kbps", "constant:1mbps"), s' \
    "$scratch/own-links-summary.json" || fail "links named in the meeting: not the local participant's"
"$ktr" sim "$scratch/own-links.json" --summary-only >"$scratch/own-links-alone.json"
/usr/bin/python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); assert (s["downlink"], s["uplink"]) == ("constant:10mbps", None), s' \
    "$scratch/own-links-alone.json" || fail "links named in the meeting: used outside a conference"

# A conference of more participants than it runs is refused, naming the file.
/usr/bin/python3 -c 'import json,sys; json.dump({"local": {"uid": 1}, "duration_s": 10, "peers": {"count": 50, "mix": {"8": 1}}}, open(sys.argv[1], "w"))' \
    "$scratch/crowd.json"
expect_failure 2 "crowd.json: 51 participants; a conference runs at most 50" "$ktr" sim "$scratch/crowd.json" --conference

# Links drawn from a pool: the local participant's are named in the summary, the same seed draws the same.
meeting="$source_dir/examples/meetings/team-meeting.json"
for run in 1 2; do
    "$ktr" sim "$meeting" --conference --link-pool "$scratch/traces" --duration 30 --summary-only \
        >"$scratch/pool-$run.json"
done
cmp -s "$scratch/pool-1.json" "$scratch/pool-2.json" || fail "--link-pool: the same seed drew other links"
/usr/bin/python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); assert s["downlink"] in sys.argv[2:], s["downlink"]' \
    "$scratch/pool-1.json" office.mahimahi synthetic-tunnel-outage.mbps synthetic-office-steps.mbps ||
    fail "--link-pool: the summary names no trace of the pool"
expect_failure 2 "it needs a conference" "$ktr" sim "$meeting" --link-pool "$scratch/traces" --duration 5

# --link-scale: every link's rates times the factor, the summary naming it; a sweep's runs are scaled too.
"$ktr" sim "$meeting" --conference --downlink constant:4mbps --uplink "$scratch/traces/office.mahimahi" \
    --link-scale 0.5 --duration 5 --summary-only >"$scratch/scaled.json"
/usr/bin/python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); assert (s["downlink"], s["uplink"]) == ("constant:4mbps x0.5", "office.mahimahi x0.5"), s' \
    "$scratch/scaled.json" || fail "--link-scale: the summary names the links unscaled"
"$ktr" sim "$meeting" --traces "$scratch/traces" --link-scale 2 --duration 5 --results "$scratch/scaled-results.jsonl" \
    >/dev/null
/usr/bin/python3 -c 'import json,sys; runs=[json.loads(l) for l in open(sys.argv[1])][1:]; assert runs and all(r["summary"]["downlink"].endswith(" x2") for r in runs), runs' \
    "$scratch/scaled-results.jsonl" || fail "--link-scale: a sweep's runs are not scaled"
expect_failure 2 "--link-scale" "$ktr" sim "$meeting" --link-scale 0 --duration 5
expect_failure 2 "--link-scale" "$ktr" sim "$meeting" --link-scale 101 --duration 5

# The recorded calls replay to the same lines, in the same order.
meeting="$source_dir/examples/meetings/team-meeting.json"
"$ktr" sim "$meeting" --downlink "$scratch/traces/office.mahimahi" --duration 60 --record "$scratch/record.json" \
    --log-file "$scratch/sim.log" >/dev/null
"$ktr" replay "$scratch/record.json" --log-file "$scratch/replay.log" >/dev/null
cut -d' ' -f4- "$scratch/sim.log" >"$scratch/sim.lines"
cut -d' ' -f4- "$scratch/replay.log" >"$scratch/replay.lines"
[ -s "$scratch/sim.lines" ] && cmp -s "$scratch/sim.lines" "$scratch/replay.lines" || fail "the recorded calls replay differently"

# A sweep; its shards merged give the same table; a run alone equals the same run inside the sweep.
"$ktr" sim "$meeting" --traces "$scratch/traces" --duration 60 --results "$scratch/whole.results" \
    --summary "$scratch/whole-table.json" --plot "$scratch/whole-cdf.png" >"$scratch/whole.txt"
grep -q '^3 runs' "$scratch/whole.txt" || fail "sweep table: $(head -n 2 "$scratch/whole.txt")"
grep -qx "warning: .* intervals rest on fewer than 10 runs (the fewest on .*): intervals from so few are rough" \
    "$scratch/whole.txt" || fail "sweep of 3 runs: no warning: $(cat "$scratch/whole.txt")"
grep -qE '^office.mahimahi +[0-9]' "$scratch/whole.txt" || fail "sweep: no row of its run office.mahimahi"
[ -s "$scratch/whole-cdf.png" ] || fail "sweep --plot: no picture"
/usr/bin/python3 "$source_dir"/tools/plot_cdf.py "$scratch/whole-cdf.png.csv" "$scratch/whole-cdf-again.png" \
    --dump "$scratch/whole-cdf.json" || fail "sweep --plot: its values cannot be drawn again"
# Each run's row is that run's own summary; each CDF runs through the runs' values, sorted.
/usr/bin/python3 - "$scratch/whole.results" "$scratch/whole-table.json" "$scratch/whole-cdf.json" <<'PY' ||
import json, sys
runs = sorted((json.loads(line) for line in open(sys.argv[1]).read().splitlines()[1:]), key=lambda r: r["index"])
table = json.load(open(sys.argv[2]))
drawn = {p["title"]: {line["id"]: line for line in p["lines"]} for p in json.load(open(sys.argv[3]))["panels"]}
assert table["schema"] == 4 and table["run_labels"] == [r["run"] for r in runs], table["run_labels"]
intervals = sum(1 for row in table["metrics"] if row["runs"] > 0)
assert table["warning"].startswith(f"warning: {intervals} of {intervals} intervals "), table["warning"]
def own(summary, row):
    name, _, part = row.partition(".")
    metric = summary["metrics"][name]
    return metric[part] if part else metric["value"]
for row in table["metrics"]:
    assert row["per_run"] == [own(r["summary"], row["metric"]) for r in runs], row
    assert row["few_runs"] == (0 < row["runs"] < 10), row
    values = sorted(v for v in row["per_run"] if v is not None)
    line = drawn.get(row["metric"], {}).get("runs")
    assert (line["x"] if line else []) == values, (row["metric"], line, values)
PY
    fail "sweep: per-run rows or CDFs differ from the runs' summaries"
for k in 1 2; do
    "$ktr" sim "$meeting" --traces "$scratch/traces" --duration 60 --shard "$k/2" --results "$scratch/shard$k.results" >/dev/null
done
"$ktr" sim --merge "$scratch/shard2.results" "$scratch/shard1.results" >"$scratch/merged.txt"
cmp -s "$scratch/whole.txt" "$scratch/merged.txt" || fail "the merged shards differ from the whole sweep"
"$ktr" sim "$meeting" --downlink "$scratch/traces/office.mahimahi" --duration 60 --summary-only >"$scratch/alone.json"
/usr/bin/python3 - "$scratch/whole.results" "$scratch/alone.json" <<'PY' || fail "a run alone differs from the same run in the sweep"
import json, sys
runs = [json.loads(line) for line in open(sys.argv[1])][1:]
swept = next(r["summary"] for r in runs if r["run"] == "office.mahimahi")
assert json.dumps(swept, sort_keys=True) == json.dumps(json.load(open(sys.argv[2])), sort_keys=True)
PY

# Shards name the meeting by a relative and by an absolute path: the same meeting, merged.
mkdir -p "$scratch/here"
cp "$meeting" "$scratch/here/meeting.json"
(cd "$scratch/here" && "$ktr" sim meeting.json --traces ../traces --duration 60 --shard 1/2 --results ../rel.results >/dev/null)
"$ktr" sim "$scratch/here/meeting.json" --traces "$scratch/traces" --duration 60 --shard 2/2 --timeout none \
    --results "$scratch/abs.results" >/dev/null
"$ktr" sim --merge "$scratch/rel.results" "$scratch/abs.results" >"$scratch/merged-paths.txt"
cmp -s "$scratch/whole.txt" "$scratch/merged-paths.txt" || fail "shards of one meeting by two paths do not merge"
/usr/bin/python3 -c 'import json,sys; m=json.load(open(sys.argv[1])); m["name"]="another"; print(json.dumps(m))' \
    "$meeting" >"$scratch/here/other.json"
"$ktr" sim "$scratch/here/other.json" --traces "$scratch/traces" --duration 60 --shard 2/2 \
    --results "$scratch/other.results" >/dev/null
expect_failure 2 "their contents differ" "$ktr" sim --merge "$scratch/rel.results" "$scratch/other.results"

# Zero and negative durations, job counts and time limits are usage errors; only "none" turns the limit off.
for bad in "--duration 0" "--duration -5" "--jobs 0" "--jobs -1" "--timeout 0" "--timeout -3" "--timeout never"; do
    # shellcheck disable=SC2086
    expect_failure 2 "${bad%% *}" "$ktr" sim "$meeting" --traces "$scratch/traces" $bad
done
expect_failure 2 "--duration" "$ktr" sim "$meeting" --duration 0
# The meeting from standard input; a sweep's runs need it as a file.
"$ktr" sim - --duration 60 --downlink "$scratch/traces/office.mahimahi" --summary-only <"$meeting" >"$scratch/stdin.json"
cmp -s "$scratch/stdin.json" "$scratch/alone.json" || fail "sim - differs from sim FILE"
expect_failure 2 "give a file, not -" "$ktr" sim - --traces "$scratch/traces" <"$meeting"
# A trace from standard input: the same run as from its file, labelled "-".
"$ktr" sim "$meeting" --downlink - --duration 60 --summary-only <"$scratch/traces/office.mahimahi" >"$scratch/stdin-trace.json"
/usr/bin/python3 - "$scratch/stdin-trace.json" "$scratch/alone.json" <<'PY' || fail "--downlink - differs from --downlink FILE"
import json, sys
piped, alone = (json.load(open(path)) for path in sys.argv[1:])
assert piped.pop("downlink") == "-" and alone.pop("downlink") == "office.mahimahi"
assert piped == alone
PY
expect_failure 2 "a run of its own cannot read standard input" "$ktr" sim "$meeting" --traces "$scratch/traces" \
    --uplink - </dev/null

# Bad input: exit 2, the file and the line or field named, nothing written.
printf '10\n5\n' >"$scratch/backwards.mahimahi"
expect_failure 2 "backwards.mahimahi: line 2" "$ktr" sim "$meeting" --downlink "$scratch/backwards.mahimahi" \
    --summary "$scratch/never.json"
[ ! -e "$scratch/never.json" ] || fail "a summary was written for a refused trace"
: >"$scratch/empty.mbps"
expect_failure 2 "empty.mbps" "$ktr" sim "$meeting" --downlink "$scratch/empty.mbps"
echo '{"name": "x", "local": {"uid": 1, "dt": 8}, "duration_s": -5}' >"$scratch/bad-meeting.json"
expect_failure 2 'bad-meeting.json: field "duration_s"' "$ktr" sim "$scratch/bad-meeting.json"
expect_failure 2 "no-such-folder" "$ktr" sim "$meeting" --traces "$scratch/no-such-folder"
expect_failure 2 "--shard" "$ktr" sim "$meeting" --traces "$scratch/traces" --shard 3/2

echo "ktr sim: $(ls "$source_dir"/examples/meetings/*.json | wc -l) meetings over two traces with every output; record, sweep, shards and bad input checked"
