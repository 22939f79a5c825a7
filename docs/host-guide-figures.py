#!/usr/bin/env python3
"""Runs the `ktr sim` runs that the host's guide (docs/host-guide.md) quotes under "Estimates, pacing and peer
reports" and prints the section's tables, in its order.

Each run is a bundled meeting on a bundled trace with one thing changed: one key of the meeting's `host`
object (written to a copy in a temporary folder), or the download estimates, replayed from a small CSV in
place of the estimator model. Every other parameter keeps its default.

Usage: docs/host-guide-figures.py [KTR]   (KTR: the ktr binary, default build/default/ktr)
"""
import json
import pathlib
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
MEETINGS = ROOT / "examples" / "meetings"
TRACES = ROOT / "examples" / "traces"
RICH_LINK = "constant:10mbps"
TRAIN = str(TRACES / "synthetic-train-walk.mahimahi")
TUNNEL = str(TRACES / "synthetic-tunnel-outage.mbps")
MEETING_NAMES = ("one-to-one-phone", "team-meeting")
ESTIMATE_HEADER = "time_s,status,score,bitrate,max_bitrate"

# Download estimates, each held for the whole run: (label, "status,score,bitrate,max_bitrate").
HELD_ESTIMATES = [
    ("status 1, score 100", "1,100,1000000,0"),
    ("status 2, score 100", "2,100,1000000,0"),
    ("status 3, score 100", "3,100,1000000,0"),
    ("status 3, score 86", "3,86,1000000,0"),
    ("status 3, score 85", "3,85,1000000,0"),
    ("status 3, bitrate 1000000, max 1060000 (94 %)", "3,100,1000000,1060000"),
    ("status 3, bitrate 1000000, max 1040000 (96 %)", "3,100,1000000,1040000"),
    ("status 3, bitrate 3100000, max 10000000", "3,100,3100000,10000000"),
    ("status 3, bitrate 3200000, max 10000000", "3,100,3200000,10000000"),
    ("status 3, bitrate 3200000, max 0", "3,100,3200000,0"),
    ("status 4, score 100", "4,100,1000000,0"),
]
# Good estimates, a congestion from 300 s to 320 s, then the estimate named.
CONGESTION = ["0,3,100,1000000,0", "300,5,40,600000,700000"]
AFTER_CONGESTION = [("status 1 after it", "1,100,1000000,0"), ("status 3 after it", "3,100,1000000,0")]

LINK_COLUMNS = ["time_upper_pct", "freeze_time_pct", "flaps_per_min", "time_to_cut_s.median",
                "overshoot_time_pct"]
HOST_SWEEPS = [
    ("estimate_interval_s", [0.1, 1, 5], [TRAIN, TUNNEL], LINK_COLUMNS, []),
    ("download_adjust_interval_s", [0.5, 1, 5], [TRAIN, TUNNEL], LINK_COLUMNS, []),
    ("request_delay_s", [0, 0.2, 1], [TRAIN, TUNNEL], LINK_COLUMNS, []),
    ("upload_check_interval_s", [0.5, 1, 5], [RICH_LINK], ["upload_overshoot_pct", "unmet_requests"],
     ["--uplink", TRAIN]),
    ("report_interval_s", [0, 10, 2], [RICH_LINK, TRAIN], ["time_upper_pct", "switches_per_min", "flaps_per_min"],
     []),
]
# In a conference: the team meeting with the train trace as every participant's downlink and uplink; each cell
# is the median over the participants.
CONFERENCE_MEETING = "team-meeting"
CONFERENCE_SWEEPS = [("upload_check_interval_s", [0.5, 1, 5]), ("report_delay_s", [0, 0.1, 1])]
CONFERENCE_COLUMNS = ["freeze_time_pct", "frame_delay_p95_ms", "unmet_requests", "published_switches_per_min",
                      "time_240p_pct"]


def summary(ktr, meeting, downlink, extra):
    command = [ktr, "sim", str(meeting), "--downlink", downlink, "--summary-only", *extra]
    return json.loads(subprocess.run(command, check=True, capture_output=True, text=True).stdout)


def cell(summary_json, column):
    """A metric's value (`NAME`) or an episode metric's field (`NAME.median`), with two decimals; '-' when the
    run has none."""
    metric, _, field = column.partition(".")
    value = summary_json["metrics"][metric].get(field or "value")
    return "-" if value is None else f"{value:.2f}"


def median_over_participants(summary_json, column):
    """A metric's median over a conference's participants, with two decimals; '-' when it has none."""
    for row in summary_json["conference"]["over_participants"]["metrics"]:
        if row["metric"] == column:
            value = row["median"]["value"]
            return "-" if value is None else f"{value:.2f}"
    return "-"


def print_table(title, key_columns, columns, rows, read=cell):
    print(f"\n{title}\n")
    print("| " + " | ".join(key_columns + columns) + " |")
    print("|" + "---|" * (len(key_columns) + len(columns)))
    for keys, result in rows:
        print("| " + " | ".join(keys + [read(result, metric) for metric in columns]) + " |")


def link_name(link):
    return pathlib.Path(link).name


def estimates_file(folder, name, rows):
    path = folder / f"{name}.csv"
    path.write_text("\n".join([ESTIMATE_HEADER, *rows]) + "\n")
    return str(path)


def estimate_tables(ktr, folder):
    meeting = MEETINGS / "team-meeting.json"
    rows = [(["the estimator model"], summary(ktr, meeting, RICH_LINK, []))]
    for index, (label, estimate) in enumerate(HELD_ESTIMATES):
        csv = estimates_file(folder, f"held-{index}", [f"0,{estimate}"])
        rows.append(([label], summary(ktr, meeting, RICH_LINK, ["--estimates", csv])))
    columns = ["time_upper_pct", "switches_per_min", "utilization_pct"]
    print_table(f"team-meeting on {RICH_LINK}, download estimates held", ["estimate"], columns, rows)

    rows = []
    for name in MEETING_NAMES:
        for index, (label, estimate) in enumerate(AFTER_CONGESTION):
            csv = estimates_file(folder, f"after-{index}", [*CONGESTION, f"320,{estimate}"])
            rows.append(([name, label], summary(ktr, MEETINGS / f"{name}.json", RICH_LINK, ["--estimates", csv])))
    print_table(f"on {RICH_LINK}, status 5 (score 40) from 300 s to 320 s", ["meeting", "estimate"],
                ["time_upper_pct", "time_lower_pct"], rows)


def host_copy(folder, name, key, value):
    meeting = json.loads((MEETINGS / f"{name}.json").read_text())
    meeting.setdefault("host", {})[key] = value
    path = folder / f"{name}-{key}-{value}.json"
    path.write_text(json.dumps(meeting))
    return path


def host_tables(ktr, folder):
    for key, values, links, columns, extra in HOST_SWEEPS:
        rows = []
        for name in MEETING_NAMES:
            for link in links:
                for value in values:
                    result = summary(ktr, host_copy(folder, name, key, value), link, extra)
                    rows.append(([name, link_name(link), f"{value:g}"], result))
        title = f"host.{key}" + (f", uplink {link_name(extra[1])}" if extra else "")
        print_table(title, ["meeting", "downlink", key], columns, rows)


def conference_tables(ktr, folder):
    for key, values in CONFERENCE_SWEEPS:
        rows = []
        for value in values:
            meeting = host_copy(folder, CONFERENCE_MEETING, key, value)
            result = summary(ktr, meeting, TRAIN, ["--uplink", TRAIN, "--conference"])
            rows.append(([f"{value:g}"], result))
        title = f"{CONFERENCE_MEETING} in a conference, every link {link_name(TRAIN)}, host.{key}"
        print_table(title, [key], CONFERENCE_COLUMNS, rows, median_over_participants)


def main():
    ktr = sys.argv[1] if len(sys.argv) > 1 else str(ROOT / "build" / "default" / "ktr")
    with tempfile.TemporaryDirectory() as folder:
        estimate_tables(ktr, pathlib.Path(folder))
        host_tables(ktr, pathlib.Path(folder))
        conference_tables(ktr, pathlib.Path(folder))


if __name__ == "__main__":
    main()
