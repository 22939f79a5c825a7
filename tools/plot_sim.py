#!/usr/bin/python3
"""Draws the series of one `ktr sim` run: capacity, estimate, demand and delivered bitrate over time
(top), and each peer's received bitrate as steps named by uid, with freezes and switches marked (bottom).

Usage: tools/plot_sim.py SERIES.csv OUTPUT.png [--title TITLE]
The series is what `ktr sim --series FILE` writes: time_s,kind,uid,value.
"""
import argparse
import csv
import sys
from collections import defaultdict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

HEADER = ["time_s", "kind", "uid", "value"]
LINK_KINDS = ("capacity", "estimate", "demand", "delivered")
PEER_KINDS = ("received", "freeze", "switch")
KBIT = 1024.0
MOST_PEERS_NAMED = 12


class BadSeries(Exception):
    pass


def read_series(path):
    """Returns ({link kind: [(t, kbit/s)]}, {uid: [(t, kbit/s)]}, {uid: [t]} freezes, {uid: [t]} switches)."""
    link = defaultdict(list)
    received = defaultdict(list)
    freezes = defaultdict(list)
    switches = defaultdict(list)
    try:
        handle = open(path, newline="", encoding="utf-8")
    except OSError as error:
        raise BadSeries(f"{path}: cannot read: {error.strerror}")
    with handle:
        rows = csv.reader(handle)
        try:
            header = next(rows, None)
            if header != HEADER:
                raise BadSeries(f"{path}: line 1: expected the header {','.join(HEADER)}")
            for row in rows:
                line = rows.line_num
                if len(row) != len(HEADER):
                    raise BadSeries(f"{path}: line {line}: expected {len(HEADER)} cells, got {len(row)}")
                time, kind, uid, value = parse_row(path, line, row)
                if kind in LINK_KINDS:
                    link[kind].append((time, value / KBIT))
                elif kind == "received":
                    received[uid].append((time, value / KBIT))
                elif kind == "freeze":
                    freezes[uid].append(time)
                else:
                    switches[uid].append(time)
        except (csv.Error, UnicodeDecodeError) as error:
            raise BadSeries(f"{path}: not a series: {error}")
    return link, received, freezes, switches


def parse_row(path, line, row):
    kind = row[1]
    if kind not in LINK_KINDS + PEER_KINDS:
        raise BadSeries(f"{path}: line {line}: unknown kind {kind!r}")
    try:
        return float(row[0]), kind, int(row[2]), float(row[3])
    except ValueError:
        raise BadSeries(f"{path}: line {line}: time_s, uid and value must be numbers")


def value_at(points, time):
    """The value a step series holds at time (0 before its first point)."""
    held = 0.0
    for at, value in points:
        if at > time:
            break
        held = value
    return held


def draw_steps(axis, points, end, **style):
    if points:
        times = [t for t, _ in points] + [end]
        values = [v for _, v in points] + [points[-1][1]]
        axis.step(times, values, where="post", **style)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("series")
    parser.add_argument("png")
    parser.add_argument("--title", default="ktr sim")
    args = parser.parse_args()
    try:
        link, received, freezes, switches = read_series(args.series)
    except BadSeries as error:
        print(error, file=sys.stderr)
        return 2

    end = max([t for points in link.values() for t, _ in points] + [0.0])
    figure, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(11, 7))
    styles = {"capacity": dict(color="black", linewidth=1.2), "estimate": dict(color="tab:purple", linestyle="--"),
              "demand": dict(color="tab:orange"), "delivered": dict(color="tab:green", alpha=0.8)}
    for kind in LINK_KINDS:
        draw_steps(top, link.get(kind, []), end, label=kind, **styles[kind])
    top.set_title("download link")
    for index, uid in enumerate(sorted(received)):
        label = f"peer {uid}" if index < MOST_PEERS_NAMED else None
        draw_steps(bottom, received[uid], end, label=label)
        marks = [(t, value_at(received[uid], t)) for t in freezes.get(uid, [])]
        if marks:
            bottom.scatter(*zip(*marks), marker="x", color="red", zorder=3, label="freeze" if index == 0 else None)
        ticks = [(t, value_at(received[uid], t)) for t in switches.get(uid, [])]
        if ticks:
            bottom.scatter(*zip(*ticks), marker="|", color="gray", zorder=3, label="switch" if index == 0 else None)
    if len(received) > MOST_PEERS_NAMED:
        bottom.plot([], [], " ", label=f"+{len(received) - MOST_PEERS_NAMED} more peers")
    bottom.set_title("received bitrate per peer")
    bottom.set_xlabel("time (s)")
    for axis in (top, bottom):
        axis.set_ylabel("kbit/s (K = 1024)")
        axis.grid(True, alpha=0.3)
        if axis.get_legend_handles_labels()[0]:
            axis.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize="small")
    figure.suptitle(args.title)
    figure.tight_layout()
    try:
        figure.savefig(args.png, dpi=100)
    except OSError as error:
        print(f"{args.png}: cannot write: {error.strerror}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
