#!/usr/bin/python3
"""Turns a ktr-replay CSV timeline into a PNG: published camera bitrates (top) and requested peer
bitrates (bottom) per step.

Usage: tools/plot_timeline.py TIMELINE.csv OUTPUT.png [--title TITLE]
"""
import argparse
import csv
from collections import defaultdict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def read_series(path):
    """Returns ({stream: [(step, bitrate)]}, {peer: [(step, bitrate)]}, last step)."""
    published = defaultdict(list)
    requested = defaultdict(list)
    last_step = 0
    with open(path, newline="") as handle:
        for row in csv.DictReader(handle):
            step = int(row["step"])
            last_step = max(last_step, step)
            if row["question"] == "upload":
                published[row["subject"]].append((step, int(row["bitrate"]) / 1024))
            elif row["question"] == "download":
                requested[row["subject"]].append((step, int(row["bitrate"]) / 1024))
    return published, requested, last_step


def plot(axis, series, title, empty_text):
    for name, points in sorted(series.items()):
        steps, kbits = zip(*points)
        axis.plot(steps, kbits, marker="o", label=name)
    if series:
        axis.legend(loc="best", fontsize="small")
    else:
        axis.text(0.5, 0.5, empty_text, ha="center", va="center", transform=axis.transAxes)
    axis.set_title(title)
    axis.set_ylabel("bitrate (K = 1024 bit/s)")
    axis.grid(True, alpha=0.3)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("csv")
    parser.add_argument("png")
    parser.add_argument("--title", default="ktr-replay timeline")
    args = parser.parse_args()

    published, requested, last_step = read_series(args.csv)
    figure, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(9, 6))
    plot(top, published, "published camera streams", "no upload question")
    plot(bottom, requested, "requested peer streams", "no download request")
    bottom.set_xlabel("step")
    bottom.set_xlim(-0.5, last_step + 0.5)
    figure.suptitle(args.title)
    figure.tight_layout()
    figure.savefig(args.png, dpi=100)


if __name__ == "__main__":
    main()
