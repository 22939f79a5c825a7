#!/usr/bin/env python3
"""Runs the conference-mode runs behind the README's plausibility table ("The conference model") and prints
the table, then the same figures per trace.

Each run is a bundled meeting in conference mode (`--conference`), its first DURATION_S seconds, with one
bundled trace as every participant's downlink and uplink, every link's rates scaled by --link-scale 0.5, 1
or 2, for each of the fixed seeds. A row is the mean over the traces and seeds of the local participant's
summary metrics; the policy promises no monotony, so the table is reported, not asserted.

Usage: docs/conference-plausibility.py [KTR]   (KTR: the ktr binary, default build/default/ktr)
"""
import json
import pathlib
import statistics
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
MEETINGS = ROOT / "examples" / "meetings"
TRACES = ROOT / "examples" / "traces"
MEETING_NAMES = ("one-to-one-phone", "team-meeting", "large-meeting")
TRACE_NAMES = ("synthetic-train-walk.mahimahi", "synthetic-office-steps.mbps", "synthetic-tunnel-outage.mbps")
SCALES = ("0.5", "1", "2")
SEEDS = ("1", "2")
DURATION_S = "900"
COLUMNS = ("freeze_time_pct", "time_upper_pct", "utilization_pct")


def summary(ktr, meeting, trace, scale, seed):
    link = str(TRACES / trace)
    command = [ktr, "sim", str(MEETINGS / f"{meeting}.json"), "--conference", "--downlink", link, "--uplink", link,
               "--link-scale", scale, "--seed", seed, "--duration", DURATION_S, "--summary-only"]
    return json.loads(subprocess.run(command, check=True, capture_output=True, text=True).stdout)


def mean_of(summaries, metric):
    values = [s["metrics"][metric]["value"] for s in summaries if s["metrics"][metric]["value"] is not None]
    return f"{statistics.mean(values):.1f}" if values else "-"


def print_table(title, key_columns, rows):
    print(f"\n{title}\n")
    print("| " + " | ".join(key_columns + [f"`{c}`" for c in COLUMNS]) + " |")
    print("|" + "---|" * (len(key_columns) + len(COLUMNS)))
    for keys, summaries in rows:
        print("| " + " | ".join(keys + [mean_of(summaries, c) for c in COLUMNS]) + " |")


def main():
    ktr = sys.argv[1] if len(sys.argv) > 1 else str(ROOT / "build" / "default" / "ktr")
    runs = {}
    for meeting in MEETING_NAMES:
        for trace in TRACE_NAMES:
            for scale in SCALES:
                for seed in SEEDS:
                    runs[meeting, trace, scale, seed] = summary(ktr, meeting, trace, scale, seed)
    print_table(f"conference mode, first {DURATION_S} s, mean over {len(TRACE_NAMES)} traces and seeds "
                f"{', '.join(SEEDS)}", ["meeting", "link scale"],
                [([m, s], [runs[m, t, s, seed] for t in TRACE_NAMES for seed in SEEDS])
                 for m in MEETING_NAMES for s in SCALES])
    print_table(f"per trace, mean over seeds {', '.join(SEEDS)}", ["meeting", "trace", "link scale"],
                [([m, t, s], [runs[m, t, s, seed] for seed in SEEDS])
                 for m in MEETING_NAMES for t in TRACE_NAMES for s in SCALES])


if __name__ == "__main__":
    main()
