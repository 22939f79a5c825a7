#!/usr/bin/python3
"""Summarises a ktrsdk_bench JSON run (--benchmark_out=FILE --benchmark_out_format=json) as Markdown:
each operation's CPU time, its ratio to its floor, its growth from 1024 to 8192 peers and the fitted
complexity.

Usage: tools/bench_report.py RUN.json
"""
import json
import re
import sys
from collections import defaultdict

# Operations whose floor is the lock plus formatting their own lines (formatting logger).
FORMAT_FLOORS = {"setUsers": "BM_floor_setUsers", "addPeerReport": "BM_floor_addPeerReport",
                 "removeUser": "BM_floor_removeUser"}


def load(path):
    """Returns ({(name, mode, n): cpu ns}, {(name, mode): fitted complexity}). Operations are named
    "op/mode[/n]", floors "BM_floor_op[/n]" (mode "")."""
    with open(path) as handle:
        run = json.load(handle)
    times = {}
    complexity = {}
    medians = set()  # with --benchmark_repetitions the median of the runs stands for each benchmark
    for bench in run["benchmarks"]:
        parts = bench["run_name"].split("/")
        manual = parts[-1] == "manual_time"  # timed by the benchmark itself: its real time counts
        parts = parts[:-1] if manual else parts
        if parts[0].startswith("BM_floor"):
            key = (parts[0], "", int(parts[1]) if len(parts) > 1 else None)
        else:
            key = (parts[0], parts[1], int(parts[2]) if len(parts) > 2 else None)
        aggregate = bench.get("aggregate_name")
        if aggregate == "BigO":
            complexity[key[:2]] = bench.get("big_o", "")
        elif aggregate == "median" or (bench.get("run_type") == "iteration" and key not in medians):
            times[key] = bench["real_time" if manual else "cpu_time"]
            if aggregate == "median":
                medians.add(key)
    return times, complexity


def main():
    times, complexity = load(sys.argv[1])
    lock = times[("BM_floor_lock", "", None)]
    rows = defaultdict(dict)
    for (name, mode, size), cpu in times.items():
        if name.startswith("BM_floor"):
            continue
        rows[(name, mode)][size] = cpu
    print(f"Bare lock and unlock of a std::mutex: {lock:.1f} ns\n")
    print("| operation | logger | n | CPU ns | ratio to floor | 8192/1024 | fitted |")
    print("|---|---|---|---|---|---|---|")
    for (name, mode), by_size in sorted(rows.items()):
        sizes = sorted(s for s in by_size if s is not None) or [None]
        growth = ""
        if 1024 in by_size and 8192 in by_size:
            growth = f"{by_size[8192] / by_size[1024]:.2f}"
        for size in sizes:
            cpu = by_size[size]
            if mode == "format" and name in FORMAT_FLOORS:
                floor = times.get((FORMAT_FLOORS[name], "", size))
                ratio = f"{cpu / floor:.2f} (lock + its lines)" if floor else ""
            elif mode == "discard":
                ratio = f"{cpu / lock:.2f} (lock)"
            else:
                ratio = ""
            label = name
            print(f"| {label} | {mode} | {'' if size is None else size} | {cpu:.0f} | {ratio} | "
                  f"{growth if size in (8192, 8) else ''} | "
                  f"{complexity.get((name, mode), '') if size == sizes[-1] else ''} |")


if __name__ == "__main__":
    main()
