#!/usr/bin/env bash
# Runs ktr diff as a user does: the real build against itself on every bundled scenario; against a stand-in
# build that alters one answer once scene type 7 is set (a scenario that reaches it and one that does not),
# as text and as JSON, first difference and --all; two settings on one build; a bundled meeting simulated
# over a small folder of traces with both settings; and bad input, a missing build and a hanging side.
# Usage: check_cli.sh KTR SOURCE_DIR LIBRARY ALTERED_LIBRARY SCRATCH_DIR
set -euo pipefail
ktr=$1
source_dir=$2
library=$3
altered=$4
scratch=$5
rm -rf "$scratch" && mkdir -p "$scratch/traces"
source "$(dirname "$0")/../support/cli.sh"

# Exit status of a command, its output kept in $scratch/out.txt and $scratch/err.txt.
status_of() {
    local status=0
    "$@" >"$scratch/out.txt" 2>"$scratch/err.txt" || status=$?
    echo "$status"
}

# Steps 1 to 4 set up a peer and ask for downloads; step 5 sets the scene type; steps 6 and 8 ask again.
write_scenario() {
    cat >"$2" <<JSON
{"name": "scene type $1", "local": {"uid": 1001, "dt": 8}, "steps": [
  {"step": "addUser", "uid": 2002, "dt": 8},
  {"step": "setUsers", "users": [{"uid": 2002, "dt": 8}]},
  {"step": "peerReport", "uid": 2002, "streams": [
    {"width": 1280, "height": 720, "fps": 30, "bitrate": 716800, "maxbitrate": 1024000, "minbitrate": 512000},
    {"width": 320, "height": 240, "fps": 15, "bitrate": 204800, "maxbitrate": 256000, "minbitrate": 102400}]},
  {"step": "download"},
  {"step": "sceneType", "value": $1},
  {"step": "download"},
  {"step": "hdld"},
  {"step": "download"}]}
JSON
}
write_scenario 7 "$scratch/reaching.json"
write_scenario 3 "$scratch/other-scene.json"

# The regression gate: one build against itself on every bundled scenario.
status=$(status_of "$ktr" diff --a "$library" --b "$library" "$source_dir"/examples/scenarios/*.json)
[ "$status" -eq 0 ] || fail "identical builds: exit $status: $(cat "$scratch/err.txt")"
for scenario in "$source_dir"/examples/scenarios/*.json; do
    grep -qF "$scenario (" "$scratch/out.txt" || fail "identical builds: $scenario not reported"
done
bundled=("$source_dir"/examples/scenarios/*.json)
[ "$(grep -c '): same (' "$scratch/out.txt")" -eq "${#bundled[@]}" ] ||
    fail "identical builds: not every scenario the same: $(cat "$scratch/out.txt")"
grep -qx "0 of ${#bundled[@]} scenario(s) differ" "$scratch/out.txt" || fail "identical builds: no count line"

# The stand-in build parts at step 6 of the scenario that sets scene type 7, and nowhere else.
status=$(status_of "$ktr" diff --a "$library" --b "$altered" "$scratch/reaching.json" "$scratch/other-scene.json" \
    "$source_dir"/examples/scenarios/team-meeting.json)
[ "$status" -eq 1 ] || fail "altered build: exit $status, not 1: $(cat "$scratch/err.txt")"
grep -qF "$scratch/reaching.json (scene type 7): differs from step 6 (download)" "$scratch/out.txt" ||
    fail "altered build: no first difference at step 6: $(cat "$scratch/out.txt")"
grep -qE '^    \* changed +(true|false) +(true|false)$' "$scratch/out.txt" || fail "altered build: field not marked"
grep -qE '^      records +\[\] +\[\]$' "$scratch/out.txt" || fail "altered build: the same fields not shown"
grep -q '^    log A (' "$scratch/out.txt" || fail "altered build: no log lines of A"
grep -q '^    log B (' "$scratch/out.txt" || fail "altered build: no log lines of B"
grep -qF "$scratch/other-scene.json (scene type 3): same (" "$scratch/out.txt" || fail "altered build: other scene"
grep -qF "team-meeting.json (team meeting of six): same (" "$scratch/out.txt" || fail "altered build: team meeting"
[ "$(grep -c '^  step ' "$scratch/out.txt")" -eq 1 ] || fail "altered build: more than the first difference"

# --all lists both downloads after the scene type; the JSON says the same.
"$ktr" diff --a "$library" --b "$altered" --all "$scratch/reaching.json" --json "$scratch/diff.json" \
    >"$scratch/all.txt" || [ $? -eq 1 ] || fail "--all: bad exit"
[ "$(grep -c '^  step ' "$scratch/all.txt")" -eq 2 ] || fail "--all: not two steps: $(cat "$scratch/all.txt")"
/usr/bin/python3 - "$scratch/diff.json" <<'PY' || fail "--json: $(cat "$scratch/diff.json")"
import json, sys
d = json.load(open(sys.argv[1]))
assert d["schema"] == 3 and d["differs"] is True and d["sim"] is None
s = d["scenarios"][0]
assert s["same"] is False and [x["step"] for x in s["differences"]] == [6, 8]
first = s["differences"][0]
assert first["event"] == "download" and first["fields"] == ["changed"] and first["log_differs"] is False
assert first["a"]["answer"]["changed"] != first["b"]["answer"]["changed"]
assert first["a"]["log"] == first["b"]["log"] and first["a"]["log"], first
assert all(set(l) == {"level", "line"} and l["line"].startswith("[KTR") for l in first["a"]["log"]), first
PY
# JSON on standard output in place of the text.
status=$(status_of "$ktr" diff --b "$altered" --lib "$library" "$scratch/other-scene.json" --json -)
[ "$status" -eq 0 ] || fail "--json -: exit $status"
/usr/bin/python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["scenarios"][0]["same"]' "$scratch/out.txt" ||
    fail "--json -: not one JSON object: $(head -c 300 "$scratch/out.txt")"

# Two settings on one build: force-HD changes the phone's camera answers.
echo '{"config": {"forceHD": false}}' >"$scratch/plain.json"
echo '{"comment": "always high definition", "config": {"forceHD": true}}' >"$scratch/forced.json"
status=$(status_of "$ktr" diff --lib "$library" --a-config "$scratch/plain.json" --b-config "$scratch/forced.json" \
    "$source_dir"/examples/scenarios/one-to-one-phone.json)
[ "$status" -eq 1 ] || fail "settings: exit $status, not 1: $(cat "$scratch/out.txt" "$scratch/err.txt")"
grep -q 'one-to-one-phone.json (.*): differs from step .* (upload)$' "$scratch/out.txt" || fail "settings: no difference"
grep -qF "force hd video set" "$scratch/out.txt" || fail "settings: B's log line not shown"
grep -qF "with $scratch/forced.json" "$scratch/out.txt" || fail "settings: side B not named"
status=$(status_of "$ktr" diff --a-config "$scratch/plain.json" --b-config "$scratch/plain.json" \
    "$source_dir"/examples/scenarios/one-to-one-phone.json)
[ "$status" -eq 0 ] || fail "same settings: exit $status"

# The replay that ktr diff runs: the settings installed after the init, JSON Lines on standard output.
"$ktr" replay "$source_dir"/examples/scenarios/team-meeting.json --config "$scratch/forced.json" --json - >"$scratch/replay.jsonl"
/usr/bin/python3 - "$scratch/replay.jsonl" <<'PY' || fail "replay --config --json -: $(head -n 4 "$scratch/replay.jsonl")"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
assert lines[0]["schema"] == 2
assert [(s["step"], s["event"]) for s in lines[1:4]] == [(0, "init"), (0, "config"), (1, "addUser")]
assert lines[2]["input"]["forceHD"] is True
PY

# A simulation over a small folder of traces, the built-in definition table against a leaner one: every
# metric with a verdict. The leaner table asks for lower bitrates, so less of the capacity is used.
cp "$source_dir"/examples/traces/synthetic-tunnel-outage.mbps "$source_dir"/examples/traces/synthetic-office-steps.mbps \
    "$source_dir"/examples/traces/synthetic-train-walk.mahimahi "$scratch/traces/"
status=$(status_of "$ktr" diff --sim "$source_dir"/examples/meetings/team-meeting.json --traces "$scratch/traces" \
    --duration 60 --jobs 2 --b-config "$source_dir"/examples/settings/lean-definitions.json --json "$scratch/sim.json" \
    --plot "$scratch/sim-cdf.png")
[ "$status" -le 1 ] || fail "sim: exit $status: $(cat "$scratch/err.txt")"
grep -qxE "warning: [0-9]+ of [0-9]+ intervals rest on fewer than 10 traces \(the fewest on [1-3]\): intervals from so few are rough" \
    "$scratch/out.txt" || fail "sim: no warning of 3 traces: $(cat "$scratch/out.txt")"
grep -qE '^synthetic-office-steps.mbps +B +[0-9]' "$scratch/out.txt" || fail "sim: no per-trace row"
[ -s "$scratch/sim-cdf.png" ] || fail "sim --plot: no picture"
/usr/bin/python3 "$source_dir"/tools/plot_cdf.py "$scratch/sim-cdf.png.csv" "$scratch/sim-cdf-again.png" \
    --dump "$scratch/sim-cdf.json" || fail "sim --plot: its values cannot be drawn again"
grep -q "over 3 trace(s)" "$scratch/out.txt" || fail "sim: no header: $(cat "$scratch/out.txt")"
grep -qE '^metric +unit +better +traces +A +B +B - A \[95 %\] +verdict$' "$scratch/out.txt" || fail "sim: no table"
grep -qE '^utilization_pct +% +higher +3 .*(better|worse|no clear difference)$' "$scratch/out.txt" ||
    fail "sim: no verdict for utilization_pct: $(cat "$scratch/out.txt")"
/usr/bin/python3 - "$scratch/sim.json" "$status" "$scratch/sim-cdf.json" <<'PY' ||
    fail "sim --json: $(head -c 600 "$scratch/sim.json")"
import json, sys
d = json.load(open(sys.argv[1]))
sim = d["sim"]
assert sim["traces"] == sorted(sim["traces"]) and len(sim["traces"]) == 3
assert sim["bootstrap"] == {"resamples": 1000, "seed": 1}
metrics = {m["metric"]: m for m in sim["metrics"]}
assert "freezes_per_min" in metrics and "time_to_cut_s.median" in metrics
for m in sim["metrics"]:
    assert m["verdict"] in (None, "better", "worse", "no clear difference"), m
    if m["verdict"] is None:
        assert m["traces"] == 0 or m["better"] == "none", m
    else:
        assert m["low"] <= m["difference"] <= m["high"], m
        assert abs(m["b"] - m["a"] - m["difference"]) < 1e-9, m
assert metrics["utilization_pct"]["b"] < metrics["utilization_pct"]["a"], metrics["utilization_pct"]
clear = any(m["verdict"] in ("better", "worse") for m in sim["metrics"])
assert clear == (sys.argv[2] == "1") == d["differs"]
# Every metric's values per trace, both sides, and a warning: 3 traces are fewer than 10.
assert sim["warning"].startswith("warning: "), sim["warning"]
for m in sim["metrics"]:
    assert len(m["per_trace"]["a"]) == len(m["per_trace"]["b"]) == 3, m
    assert m["few_traces"] == (0 < m["traces"] < 10), m
    assert m["definition"], m
# The CDF of each side of each metric is drawn through that side's values, sorted.
drawn = {p["title"]: {line["id"]: line for line in p["lines"]} for p in json.load(open(sys.argv[3]))["panels"]}
for m in sim["metrics"]:
    for side in ("a", "b"):
        values = sorted(v for v in m["per_trace"][side] if v is not None)
        line = drawn.get(m["metric"], {}).get(side.upper())
        assert (line["x"] if line else []) == values, (m["metric"], side, line, values)
        assert not line or line["y"] == [(k + 1) / len(values) for k in range(len(values))], line
PY
# The same settings on both sides: no metric tells them apart.
status=$(status_of "$ktr" diff --sim "$source_dir"/examples/meetings/one-to-one-phone.json --traces "$scratch/traces" \
    --duration 30 --a-config "$scratch/forced.json" --b-config "$scratch/forced.json")
[ "$status" -eq 0 ] || fail "sim, same settings: exit $status: $(cat "$scratch/out.txt" "$scratch/err.txt")"
grep -qE '^time_upper_pct .* 0 \[0, 0\] +no clear difference$' "$scratch/out.txt" || fail "sim, same settings: table"

# Bad input and failing sides: exit 2 with the reason named.
expect_failure 2 "give scenario files" "$ktr" diff
expect_failure 2 "--sim and --traces go together" "$ktr" diff --sim "$source_dir"/examples/meetings/team-meeting.json
expect_failure 2 "missing.json" "$ktr" diff "$scratch/missing.json"
echo '{"config": {"forceHd": true}}' >"$scratch/misspelt.json"
expect_failure 2 "forceHd" "$ktr" diff --a-config "$scratch/misspelt.json" "$scratch/reaching.json"
expect_failure 2 "unknown field" "$ktr" diff --b-config "$scratch/reaching.json" "$scratch/reaching.json"
expect_failure 2 "on side B\": exit status 2" "$ktr" diff --b "$scratch/missing.so" "$scratch/reaching.json"
# Sides failing in two scenarios, and both sides of one: every scenario is run and every failed side named.
cp "$source_dir"/examples/scenarios/team-meeting.json "$scratch/second.json"
KTR_STANDIN_FAULTS="crash=reaching.json,hang=second.json" expect_failure 2 "" "$ktr" diff --timeout 2 \
    --a "$library" --b "$altered" "$scratch/reaching.json" "$scratch/second.json"
grep -qF "run \"$scratch/reaching.json on side B\": killed by signal 6 (Aborted)" "$scratch/err.txt" &&
    grep -qF "run \"$scratch/second.json on side B\": timed out after 2 s" "$scratch/err.txt" ||
    fail "diff: not every failed side named: $(cat "$scratch/err.txt")"
KTR_STANDIN_FAULTS="crash=second.json" expect_failure 2 "" "$ktr" diff --a "$altered" --b "$altered" \
    "$scratch/reaching.json" "$scratch/second.json"
[ "$(grep -c "second.json on side [AB]\": killed by signal 6" "$scratch/err.txt")" -eq 2 ] ||
    fail "diff: both failed sides of a scenario are not named: $(cat "$scratch/err.txt")"
# The same with --sim: every trace is run on both sides, and every failed side named.
KTR_STANDIN_FAULTS="crash=synthetic-train-walk,garbage=synthetic-office-steps" expect_failure 2 "" "$ktr" diff \
    --sim "$source_dir"/examples/meetings/one-to-one-phone.json --traces "$scratch/traces" --duration 10 --b "$altered"
grep -qF 'run "side B over synthetic-train-walk.mahimahi": killed by signal 6 (Aborted)' "$scratch/err.txt" &&
    grep -qF 'run "side B over synthetic-office-steps.mbps": its summary: ' "$scratch/err.txt" &&
    ! grep -q 'side A' "$scratch/err.txt" || fail "diff --sim: not every failed side named: $(cat "$scratch/err.txt")"
expect_failure 2 "--timeout" "$ktr" diff --timeout -1 "$scratch/reaching.json"
# No time limit is spelled out; 0 is not "the default"; zero runs at once or a zero duration are refused.
expect_failure 2 "--timeout" "$ktr" diff --timeout 0 "$scratch/reaching.json"
expect_failure 2 "--jobs" "$ktr" diff --jobs 0 "$scratch/reaching.json"
expect_failure 2 "--duration" "$ktr" diff --sim "$source_dir"/examples/meetings/team-meeting.json --traces "$scratch/traces" \
    --duration 0
status=$(status_of "$ktr" diff --timeout none "$source_dir"/examples/scenarios/team-meeting.json)
[ "$status" -eq 0 ] || fail "--timeout none: exit $status: $(cat "$scratch/err.txt")"
expect_failure 2 "give files, not -" "$ktr" diff - <"$scratch/reaching.json"
echo "diff.cli: all checks passed"
