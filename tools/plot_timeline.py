#!/usr/bin/python3
"""Turns a `ktr replay --csv` timeline into a PNG: the published camera streams by rank and the share stream
with the upload estimate (top); for each peer the download answer (the bitrate requested) and the stream
chosen for it, with the download estimate and the peers received in high or low definition (bottom), in
kbit/s over seconds from the timeline's start. A stream of bitrate 0 in an answer (the library's "no result")
is a gap in its line with a marker below it.

Usage: tools/plot_timeline.py TIMELINE.csv OUTPUT.png [--title TITLE] [--dump DRAWN.json]
Exit status: 0 done, 2 bad input or usage.
"""
import bisect
import csv
import json
import math
import re
import sys
from collections import defaultdict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.lines import Line2D  # noqa: E402
from matplotlib.transforms import blended_transform_factory  # noqa: E402

sys.dont_write_bytecode = True  # no cache files beside the installed scripts
from plot_common import peer_colors, run  # noqa: E402

COLUMNS = ("step,time_s,kind,subject,uid,rank_or_dft,width,height,fps,bitrate,minbitrate,maxbitrate,"
           "changed,net_status,net_score").split(",")

# The columns each kind of row must fill; every other numeric cell may be empty.
REQUIRED = {
    "upload": ("bitrate",),
    "share": ("bitrate",),
    "download": ("uid", "bitrate"),
    "hd": ("uid",),
    "ld": ("uid",),
    "chosen": ("uid",),
    "definition": ("bitrate",),
    "empty": (),
    "dlnet": ("bitrate", "maxbitrate"),
    "ulnet": ("bitrate", "maxbitrate"),
}
EMPTY_SUBJECTS = ("upload", "share", "download", "hdld")

INT32 = (-2**31, 2**31 - 1)
TEXT_COLUMNS = ("kind", "subject")
# Bounds of the integer columns (the record fields are signed 32-bit, uids unsigned 64-bit); the
# columns not named here are text or time.
INTEGER_BOUNDS = {"step": (0, 2**63 - 1), "uid": (0, 2**64 - 1), "rank_or_dft": INT32, "width": INT32,
                  "height": INT32, "fps": INT32, "bitrate": INT32, "minbitrate": INT32, "maxbitrate": INT32,
                  "changed": (0, 1), "net_status": INT32, "net_score": INT32}
INTEGER_PATTERN = re.compile(r"-?[0-9]+")
DECIMAL_PATTERN = re.compile(r"-?[0-9]+(\.[0-9]*)?([eE][-+]?[0-9]+)?")

KBIT = 1024
# Every value holds until the next answer; the last one is drawn over one more step of the replay.
STEP_SECONDS = 1.0
# Beyond this many peers the legend names the first ones only, so that it still fits the figure.
MAX_NAMED_PEERS = 12
PEER_LINE_WIDTH = 1.5
MARKER_AREA = 35
RANK_NAMES = {1: "rank 1", 2: "rank 2"}
# The value of a stream whose answer holds bitrate 0: the library found nothing to say.
NO_RESULT = "no result"
# No-result markers sit this far above the bottom of their panel (a fraction of its height).
NO_RESULT_HEIGHT = 0.03
CHOSEN_STYLE = {"linestyle": ":", "linewidth": 1.5}
ESTIMATE_STYLE = {"color": "black", "linestyle": "--", "linewidth": 1.2}
ESTIMATE_MAX_STYLE = {"color": "dimgray", "linestyle": ":", "linewidth": 1.2}
UPLOAD_COLORS = {"rank 1": "tab:blue", "rank 2": "tab:orange", "share": "tab:green"}
# Peers of an hdld answer: (marker, legend text, filled with the peer's colour).
DEFINITION_MARKERS = {"hd": ("^", "received in HD", True), "ld": ("v", "received in LD", False)}


class BadTimeline(Exception):
    """A timeline that cannot be read; the message names the file, the line and the column."""


# --- reading ------------------------------------------------------------------------------------------


def read_rows(path):
    """Returns the rows of the timeline as dicts of parsed cells; blank lines are skipped."""
    try:
        with open(path, newline="", encoding="utf-8-sig") as handle:
            reader = csv.reader(handle)
            rows, line = [], 1
            try:
                check_header(path, next(reader, None))
                while True:
                    line = reader.line_num + 1  # where the next row starts
                    cells = next(reader, None)
                    if cells is None:
                        return rows
                    if cells:
                        rows.append(parse_row(path, line, cells))
            except csv.Error as error:
                raise BadTimeline(f"{path}: line {line}: not CSV: {error}") from None
    except OSError as error:
        raise BadTimeline(f"{path}: cannot read: {error.strerror or error}") from None
    except UnicodeDecodeError as error:
        raise BadTimeline(f"{path}: not UTF-8 text: {error.reason} at byte {error.start}") from None


def check_header(path, header):
    if not header or INTEGER_PATTERN.fullmatch(header[0]):
        raise BadTimeline(f"{path}: line 1: missing header, expected {','.join(COLUMNS)}")
    for index, expected in enumerate(COLUMNS):
        got = header[index] if index < len(header) else ""
        if got != expected:
            raise BadTimeline(f'{path}: line 1: column {index + 1}: expected "{expected}" in the header, '
                              f'got {quoted(got)}')
    if len(header) > len(COLUMNS):
        raise BadTimeline(f"{path}: line 1: header has {len(header)} columns, expected {len(COLUMNS)}")


def parse_row(path, line, cells):
    """The row's cells by column, numbers parsed (None where empty)."""
    if len(cells) != len(COLUMNS):
        raise BadTimeline(f"{path}: line {line}: expected {len(COLUMNS)} cells, got {len(cells)}")
    row = dict(zip(COLUMNS, cells))
    kind = row["kind"]
    if kind not in REQUIRED:
        raise BadTimeline(f'{path}: line {line}: column "kind": unknown kind {quoted(kind)}, expected one of '
                          f'{", ".join(REQUIRED)}')
    if kind == "empty" and row["subject"] not in EMPTY_SUBJECTS:
        raise BadTimeline(f'{path}: line {line}: column "subject": an empty answer names its question '
                          f'({", ".join(EMPTY_SUBJECTS)}), got {quoted(row["subject"])}')
    for column in ("step",) + REQUIRED[kind]:
        if row[column] == "":
            raise BadTimeline(f'{path}: line {line}: column "{column}": missing value for kind "{kind}"')
    for column, cell in zip(COLUMNS, cells):
        row[column], expected = parse_cell(column, cell)
        if expected:
            raise BadTimeline(f'{path}: line {line}: column "{column}": expected {expected}, got {quoted(cell)}')
    return row


def untimed(rows):
    """Whether the timeline carries no time (a client's log without time stamps): then steps count."""
    return any(row["time_s"] is None for row in rows)


def quoted(cell):
    """The cell as a quoted string, control characters escaped."""
    return json.dumps(cell, ensure_ascii=False)


def parse_cell(column, cell):
    """(value, None) or (None, what was expected). Empty number cells stay None."""
    if column in TEXT_COLUMNS or cell == "":
        return (cell if column in TEXT_COLUMNS else None), None
    if column == "time_s":
        value = float(cell) if DECIMAL_PATTERN.fullmatch(cell) else math.nan
        return (value, None) if math.isfinite(value) else (None, "a finite number of seconds")
    low, high = INTEGER_BOUNDS[column]
    if INTEGER_PATTERN.fullmatch(cell) and low <= int(cell) <= high:
        return int(cell), None
    return None, f"an integer from {low} to {high}"


# --- answers and held values -----------------------------------------------------------------------


def question_of(row):
    """The question (or estimate, or the chosen streams) whose answer the row belongs to."""
    kind = row["kind"]
    if kind in ("hd", "ld"):
        return "hdld"
    return row["subject"] if kind == "empty" else kind


def group_answers(rows):
    """Consecutive rows of one step and one question make one answer; answers come in time order."""
    answers = []
    for row in rows:
        key = (row["step"], question_of(row))
        if answers and answers[-1][0] == key:
            answers[-1][2].append(row)
        else:
            answers.append((key, row["time_s"], [row]))
    answers.sort(key=lambda answer: answer[1])
    return [(key[1], time, records) for key, time, records in answers]


def kbit(bits):
    return bits / KBIT


def stream_value(row):
    """A stream's kbit/s, or NO_RESULT for bitrate 0."""
    return NO_RESULT if row["bitrate"] == 0 else kbit(row["bitrate"])


def ranked_streams(streams):
    """Two streams whose dft fields hold the ranks 1 and 2 in rank order; any others by bitrate, the higher
    first (the first of equal ones): so a single stream is rank 1 whatever its field holds (the force-HD and
    large-meeting answers keep the table's value there, a client's log may not show it)."""
    if sorted(row["rank_or_dft"] or 0 for row in streams) == [1, 2]:
        return sorted(streams, key=lambda row: row["rank_or_dft"])
    return sorted(streams, key=lambda row: -row["bitrate"])


def camera_values(records):
    """{"rank 1": kbit/s, NO_RESULT or None, "rank 2": ...} for one upload answer; None for a rank the
    answer does not hold."""
    streams = ranked_streams([row for row in records if row["kind"] == "upload"])
    values = dict.fromkeys(RANK_NAMES.values())
    for rank, row in enumerate(streams, start=1):
        if rank in RANK_NAMES:
            values[RANK_NAMES[rank]] = stream_value(row)
    return values


def share_values(records):
    streams = [row for row in records if row["kind"] == "share"]
    return {"share": stream_value(streams[0]) if streams else None}


def request_values(records):
    """Only the peers whose request changed; the others keep theirs."""
    return {row["uid"]: stream_value(row) for row in records if row["kind"] == "download"}


def chosen_values(records):
    """Only the peers whose chosen stream changed: its kbit/s, None where it is no longer known (a row
    without a record). An all-zero chosen record is drawn at 0: the library receives nothing of the peer."""
    return {row["uid"]: None if row["bitrate"] is None else kbit(row["bitrate"])
            for row in records if row["kind"] == "chosen"}


def estimate_values(records, name):
    row = records[-1]
    return {name: kbit(row["bitrate"]),
            f"{name} max": kbit(row["maxbitrate"]) if row["maxbitrate"] != 0 else None}


def held_series(answers, value_readers):
    """{series: [(time, value or None)]}, one point per answer that sets the series; value_readers maps a
    question to the function reading its answer's values."""
    series = defaultdict(list)
    for question, time, records in answers:
        if question in value_readers:
            for name, value in value_readers[question](records).items():
                series[name].append((time, value))
    return series


def held_at(series):
    """A function (uid, time) -> the value series[uid] holds at that time, None before its first point."""
    times = {uid: [time for time, _ in points] for uid, points in series.items()}

    def value(uid, time):
        held = bisect.bisect_right(times.get(uid, []), time)
        return series[uid][held - 1][1] if held else None
    return value


def definition_marks(answers, requests, chosen):
    """{"hd": [(time, uid, kbit/s)], "ld": [...]}: the peers of each hdld answer, placed on their held
    request at that time, before their first request on their chosen stream (0 where neither is known)."""
    request_at, chosen_at = held_at(requests), held_at(chosen)
    marks = {"hd": [], "ld": []}
    for question, time, records in answers:
        for row in records if question == "hdld" else ():
            if row["kind"] in marks:
                uid = row["uid"]
                values = (request_at(uid, time), chosen_at(uid, time))
                marks[row["kind"]].append((time, uid, next((v for v in values if isinstance(v, float)), 0.0)))
    return marks


def upload_series(answers):
    """The camera streams by rank, the share stream and the upload estimate."""
    return held_series(answers, {"upload": camera_values, "share": share_values,
                                 "ulnet": lambda records: estimate_values(records, "upload estimate")})


def download_series(answers):
    """({peer uid: requested kbit/s}, the download estimate)."""
    return (held_series(answers, {"download": request_values}),
            held_series(answers, {"dlnet": lambda records: estimate_values(records, "download estimate")}))


def chosen_series(answers):
    """{peer uid: kbit/s of the stream chosen for it}, where the timeline knows it."""
    return held_series(answers, {"chosen": chosen_values})


# --- drawing -------------------------------------------------------------------------------------------


def draw_steps(axis, points, end, gid, **style):
    """Draws a series that holds each value until the next; None or NO_RESULT ends the line until a new
    value, and each NO_RESULT gets a marker at the bottom of the panel. Returns whether it drew a line."""
    if all(value is None or value == NO_RESULT for _, value in points):
        draw_no_result(axis, points, gid, style["color"])
        return False
    times = [time for time, _ in points] + [end]
    values = [value if isinstance(value, float) else math.nan for _, value in points]
    axis.step(times, values + values[-1:], where="post", gid=gid, **style)
    draw_no_result(axis, points, gid, style["color"])
    return True


def draw_no_result(axis, points, gid, color):
    times = [time for time, value in points if value == NO_RESULT]
    if times:
        axis.scatter(times, [NO_RESULT_HEIGHT] * len(times), marker="x", color=color, zorder=3, clip_on=False,
                     transform=blended_transform_factory(axis.transData, axis.transAxes), gid=f"{NO_RESULT} {gid}")


def no_result_legend(axis):
    """The legend entry of the no-result markers, when the panel has some."""
    if any((marks.get_gid() or "").startswith(NO_RESULT) for marks in axis.collections):
        return [Line2D([], [], marker="x", color="gray", linestyle="none", label=f"{NO_RESULT} (bitrate 0)")]
    return []


def draw_upload(axis, answers, end):
    series = upload_series(answers)
    for name, color in UPLOAD_COLORS.items():
        draw_steps(axis, series.get(name, []), end, name, color=color, label=name, linewidth=2)
    draw_estimate(axis, series, "upload estimate", end)
    has_values = any(value is not None for points in series.values() for _, value in points)
    finish_panel(axis, "upload: published streams", has_values, "no upload answer", no_result_legend(axis))


def draw_download(axis, answers, end):
    requests, estimate = download_series(answers)
    chosen = chosen_series(answers)
    marks = definition_marks(answers, requests, chosen)
    peers = sorted(set(requests) | set(chosen) | {uid for _, uid, _ in marks["hd"] + marks["ld"]})
    colors = peer_colors(peers)
    weights = peer_weights(peers)
    for index, uid in enumerate(peers):
        style = {"color": colors[uid], "label": f"peer {uid}" if index < MAX_NAMED_PEERS else None,
                 "linewidth": PEER_LINE_WIDTH * (1 + 2 * weights[uid])}
        if not draw_steps(axis, requests.get(uid, []), end, f"request {uid}", **style):
            axis.plot([], [], **style)
        draw_steps(axis, chosen.get(uid, []), end, f"chosen {uid}", color=colors[uid], **CHOSEN_STYLE)
    draw_estimate(axis, estimate, "download estimate", end)
    legend = [Line2D([], [], color="gray", linewidth=PEER_LINE_WIDTH, label="download answer (request)")]
    if chosen:
        legend.append(Line2D([], [], color="gray", label="chosen stream", **CHOSEN_STYLE))
    legend += [draw_marks(axis, marks[kind], colors, weights, kind) for kind in DEFINITION_MARKERS if marks[kind]]
    if len(peers) > MAX_NAMED_PEERS:
        legend.append(Line2D([], [], linestyle="none", label=f"+{len(peers) - MAX_NAMED_PEERS} more peers"))
    finish_panel(axis, "download: answers and chosen streams", bool(peers or estimate), "no download request",
                 legend + no_result_legend(axis))


def peer_weights(peers):
    """From 1 for the first peer down to 0 for the last: earlier peers are drawn wider, so that peers
    requesting the same bitrate show as nested lines and markers instead of hiding each other."""
    last = max(len(peers) - 1, 1)
    return {uid: (last - index) / last for index, uid in enumerate(peers)}


def draw_marks(axis, marks, colors, weights, kind):
    """Marks the peers of the hdld answers on their lines; returns the legend entry for the marker."""
    marker, label, filled = DEFINITION_MARKERS[kind]
    marks = sorted(marks, key=lambda mark: -weights[mark[1]])  # the larger markers below the smaller
    times, uids, values = zip(*marks)
    peer_colors_of_marks = [colors[uid] for uid in uids]
    sizes = [MARKER_AREA * (1 + 2 * weights[uid]) for uid in uids]
    axis.scatter(times, values, marker=marker, s=sizes, zorder=3, linewidths=1.5, gid=kind,
                 facecolors=peer_colors_of_marks if filled else "white",
                 edgecolors="black" if filled else peer_colors_of_marks)
    return Line2D([], [], marker=marker, markersize=8, linestyle="none", label=label,
                  markerfacecolor="gray" if filled else "white", markeredgecolor="black" if filled else "gray")


def draw_estimate(axis, estimate, name, end):
    draw_steps(axis, estimate.get(name, []), end, name, label=f"{name} (bitrate)", **ESTIMATE_STYLE)
    draw_steps(axis, estimate.get(f"{name} max", []), end, f"{name} max", label=f"{name} (max)",
               **ESTIMATE_MAX_STYLE)


def finish_panel(axis, title, has_data, empty_text, extra_legend=()):
    axis.set_title(title, loc="left")
    axis.set_ylabel("kbit/s (K = 1024)")
    axis.grid(True, alpha=0.3)
    if has_data:
        handles, _ = axis.get_legend_handles_labels()
        axis.legend(handles=handles + list(extra_legend), loc="upper left", bbox_to_anchor=(1.01, 1),
                    fontsize="small")
        axis.set_ylim(bottom=min(0, axis.get_ylim()[0]))
    else:
        axis.text(0.5, 0.5, empty_text, ha="center", va="center", transform=axis.transAxes, color="gray")


def draw_timeline(rows, title):
    counted_in_steps = untimed(rows)
    for row in rows:
        row["time_s"] = row["step"] if counted_in_steps else row["time_s"]
    figure, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(11, 7), layout="constrained")
    figure.suptitle(title if rows else f"{title} (empty timeline)", parse_math=False)
    answers = group_answers(rows)
    # Times count from the timeline's start (step 0), which answers no question: the first answer comes later.
    start = min([0.0] + [time for _, time, _ in answers[:1]])
    end = (answers[-1][1] if answers else start) + STEP_SECONDS
    draw_upload(top, answers, end)
    draw_download(bottom, answers, end)
    bottom.set_xlabel("step (the timeline carries no time)" if counted_in_steps else "time (s)")
    if end > start:  # a time so large that one more step does not change it keeps the automatic limits
        bottom.set_xlim(start, end)
    return figure


if __name__ == "__main__":
    sys.exit(run(__doc__, "the timeline written by ktr replay --csv", "ktr replay timeline",
                 lambda path, title: draw_timeline(read_rows(path), title), BadTimeline))
