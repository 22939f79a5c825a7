#!/usr/bin/python3
"""Draws the series of one `ktr sim` run: the downlink's capacity averaged over the last second, the
estimate, the demand and the delivered bitrate over time, with the raw capacity samples thin and light
behind them (top), and each peer's received bitrate as steps named by uid, with freezes and switches
marked (bottom). The top panel's height follows the smoothed capacity, the estimate and the demand, so that
short spikes of the raw samples (a cellular link's 100 ms bursts) do not flatten them: the samples above it
are marked on its top edge.

Usage: tools/plot_sim.py SERIES.csv OUTPUT.png [--title TITLE] [--dump DRAWN.json]
The series is what `ktr sim --series FILE` writes: time_s,kind,uid,value.
"""
import sys
from collections import defaultdict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.transforms import blended_transform_factory  # noqa: E402

sys.dont_write_bytecode = True  # no cache files beside the installed scripts
from plot_common import csv_rows, peer_colors, run  # noqa: E402

HEADER = ["time_s", "kind", "uid", "value"]
LINK_KINDS = ("capacity", "capacity_1s", "estimate", "demand", "delivered")
PEER_KINDS = ("received", "freeze", "switch")
KBIT = 1024.0
MOST_PEERS_NAMED = 12
# The largest time or value drawn: far beyond any run's (a day of meeting, ten thousand peers' demand in
# bit/s); matplotlib cannot place ticks on a range near the largest float.
LARGEST = 1e15
LINK_STYLES = {
    "capacity": dict(color="0.6", linewidth=0.6, alpha=0.7, label="capacity (raw samples)"),
    "capacity_1s": dict(color="black", linewidth=1.6, label="capacity (mean over 1 s)"),
    "estimate": dict(color="tab:purple", linestyle="--", label="estimate"),
    "demand": dict(color="tab:orange", label="demand"),
    "delivered": dict(color="tab:green", alpha=0.8, linewidth=1.0, label="delivered"),
}
# The series the top panel's height follows; the raw capacity falls back into it without a smoothed one
# (a series written before ktr sampled the smoothed capacity).
SCALING_KINDS = ("capacity_1s", "estimate", "demand")
# Room above the highest value of those series, as a fraction of it.
HEADROOM = 0.15
# Samples above the panel's top are marked on its edge, this far below it (a fraction of its height).
CLIPPED_HEIGHT = 0.985


class BadSeries(Exception):
    pass


def read_series(path):
    """Returns ({link kind: [(t, kbit/s)]}, {uid: [(t, kbit/s)]}, {uid: [t]} freezes, {uid: [t]} switches)."""
    link = defaultdict(list)
    received = defaultdict(list)
    freezes = defaultdict(list)
    switches = defaultdict(list)
    for line, row in csv_rows(path, HEADER, BadSeries, "a series"):
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
    return link, received, freezes, switches


def parse_row(path, line, row):
    kind = row[1]
    if kind not in LINK_KINDS + PEER_KINDS:
        raise BadSeries(f"{path}: line {line}: unknown kind {kind!r}")
    refusal = BadSeries(f"{path}: line {line}: time_s, uid and value must be numbers of at most {LARGEST:g}")
    try:
        time, uid, value = float(row[0]), int(row[2]), float(row[3])
    except ValueError:
        raise refusal from None
    if not (abs(time) <= LARGEST and abs(value) <= LARGEST):  # also refuses NaN
        raise refusal
    return time, kind, uid, value


def value_at(points, time):
    """The value a step series holds at time (0 before its first point)."""
    held = 0.0
    for at, value in points:
        if at > time:
            break
        held = value
    return held


def draw_steps(axis, points, end, gid, **style):
    if points:
        times = [t for t, _ in points] + [end]
        values = [v for _, v in points] + [points[-1][1]]
        axis.step(times, values, where="post", gid=gid, **style)


def link_top(link):
    """The top of the link panel: above the series it follows, None when they hold nothing above 0."""
    kinds = [kind for kind in SCALING_KINDS if link.get(kind)] if link.get("capacity_1s") else list(link)
    highest = max([value for kind in kinds for _, value in link[kind]] + [0.0])
    return highest * (1 + HEADROOM) if highest > 0 else None


def draw_link(axis, link, end):
    for kind in LINK_KINDS:
        draw_steps(axis, link.get(kind, []), end, kind, **LINK_STYLES[kind])
    top = link_top(link)
    if top is not None:
        axis.set_ylim(0, top)
        mark_clipped(axis, link, top)
    axis.set_title("download link")


def mark_clipped(axis, link, top):
    """Marks on the panel's top edge every sample above it, in its series' colour."""
    edge = blended_transform_factory(axis.transData, axis.transAxes)
    for kind in LINK_KINDS:
        times = [time for time, value in link.get(kind, []) if value > top]
        if times:
            axis.scatter(times, [CLIPPED_HEIGHT] * len(times), marker="^", s=18, color=LINK_STYLES[kind]["color"],
                         zorder=3, clip_on=False, transform=edge, gid=f"above {kind}",
                         label=f"{kind} above {top:.0f} kbit/s")


def draw_peers(axis, received, freezes, switches, end):
    peers = sorted(received)
    colors = peer_colors(peers)
    for index, uid in enumerate(peers):
        label = f"peer {uid}" if index < MOST_PEERS_NAMED else None
        draw_steps(axis, received[uid], end, f"received {uid}", color=colors[uid], label=label)
        marks = [(t, value_at(received[uid], t)) for t in freezes.get(uid, [])]
        if marks:
            axis.scatter(*zip(*marks), marker="x", color="red", zorder=3, label="freeze" if index == 0 else None)
        ticks = [(t, value_at(received[uid], t)) for t in switches.get(uid, [])]
        if ticks:
            axis.scatter(*zip(*ticks), marker="|", color="gray", zorder=3, label="switch" if index == 0 else None)
    if len(peers) > MOST_PEERS_NAMED:
        axis.plot([], [], " ", label=f"+{len(peers) - MOST_PEERS_NAMED} more peers")
    axis.set_title("received bitrate per peer")
    axis.set_xlabel("time (s)")


def draw_series(path, title):
    """The figure of the series file: the link on top, the peers below."""
    link, received, freezes, switches = read_series(path)
    end = max([t for points in link.values() for t, _ in points] + [0.0])
    figure, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(11, 7))
    draw_link(top, link, end)
    draw_peers(bottom, received, freezes, switches, end)
    for axis in (top, bottom):
        axis.set_ylabel("kbit/s (K = 1024)")
        axis.grid(True, alpha=0.3)
        if axis.get_legend_handles_labels()[0]:
            axis.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize="small")
    figure.suptitle(title)
    figure.tight_layout()
    return figure


if __name__ == "__main__":
    sys.exit(run(__doc__, "the series written by ktr sim --series", "ktr sim", draw_series, BadSeries))
