#!/usr/bin/python3
"""Draws the empirical CDF of every metric over the runs of a `ktr sim` sweep or of `ktr diff --sim` (one
line per side): one panel per metric row, each run's value on the x axis, the fraction of runs at or below
it on the y axis, as steps.

Usage: tools/plot_cdf.py VALUES.csv OUTPUT.png [--title TITLE] [--dump DRAWN.json]
The values are what `ktr sim --traces DIR --plot PNG` and `ktr diff --sim ... --plot PNG` write beside the
PNG: metric,series,value, one line per run that defines the metric.
"""
import math
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

sys.dont_write_bytecode = True  # no cache files beside the installed scripts
from plot_common import csv_rows, peer_colors, run  # noqa: E402

HEADER = ["metric", "series", "value"]
COLUMNS = 4
PANEL_SIZE = (3.6, 2.6)
# Far more metric rows and series than ktr writes: a file with more is not one of its.
MOST_PANELS = 200
MOST_SERIES = 8
# The largest value drawn; matplotlib cannot place ticks on a range near the largest float.
LARGEST = 1e15


class BadValues(Exception):
    pass


def read_values(path):
    """Returns {metric: {series: [values]}}, both in the order they first appear."""
    metrics = {}
    for line, row in csv_rows(path, HEADER, BadValues, "a table of values"):
        metric, series, value = parse_row(path, line, row)
        metrics.setdefault(metric, {}).setdefault(series, []).append(value)
        if len(metrics) > MOST_PANELS or len(metrics[metric]) > MOST_SERIES:
            raise BadValues(f"{path}: line {line}: more than {MOST_PANELS} metrics or {MOST_SERIES} series")
    return metrics


def parse_row(path, line, row):
    if len(row) != len(HEADER):
        raise BadValues(f"{path}: line {line}: expected {len(HEADER)} cells, got {len(row)}")
    try:
        value = float(row[2])
    except ValueError:
        value = math.nan
    if not abs(value) <= LARGEST:  # also refuses NaN
        raise BadValues(f"{path}: line {line}: value must be a number of at most {LARGEST:g}")
    return row[0], row[1], value


def cdf(values):
    """The sorted values and, at each, the fraction of values at or below it."""
    ordered = sorted(values)
    return ordered, [(index + 1) / len(ordered) for index in range(len(ordered))]


def draw_panel(axis, metric, series, colors):
    for name, values in series.items():
        x, y = cdf(values)
        axis.step(x, y, where="post", gid=name, color=colors[name], marker=".", label=f"{name} ({len(values)})")
    axis.set_title(metric, fontsize="small")
    axis.set_ylim(0, 1.05)
    axis.grid(True, alpha=0.3)
    axis.legend(fontsize="x-small", loc="lower right")


def draw_values(path, title):
    """The figure of the values file: one panel per metric."""
    metrics = read_values(path)
    names = list(dict.fromkeys(name for series in metrics.values() for name in series))
    colors = peer_colors(names)
    rows = max(1, math.ceil(len(metrics) / COLUMNS))
    figure, axes = plt.subplots(rows, COLUMNS, squeeze=False,
                                figsize=(PANEL_SIZE[0] * COLUMNS, PANEL_SIZE[1] * rows))
    panels = [axis for row in axes for axis in row]
    for axis, (metric, series) in zip(panels, metrics.items()):
        draw_panel(axis, metric, series, colors)
    for axis in panels[len(metrics):]:
        figure.delaxes(axis)
    figure.suptitle(title + ": fraction of runs at or below each value")
    figure.tight_layout()
    return figure


if __name__ == "__main__":
    sys.exit(run(__doc__, "the values written beside the sweep's PNG", "ktr sim: sweep", draw_values, BadValues))
