"""What the plot scripts share: the command line, the peers' colours and the dump of what a figure drew."""
import argparse
import csv
import json
import math
import sys

import matplotlib
from matplotlib import colors as mcolors

# Peer colours, distinct for 25 peers: the ten of the default cycle, the five darkest of tab20b (hues the
# cycle lacks), then the ten lighter companions of the cycle's colours. A 26th peer starts again.
PEER_PALETTE = tuple(mcolors.to_hex(color) for color in (
    list(matplotlib.colormaps["tab20"].colors[0::2]) + list(matplotlib.colormaps["tab20b"].colors[0::4]) +
    list(matplotlib.colormaps["tab20"].colors[1::2])))

DUMP_HELP = "also write what was drawn (each line's points, the markers, the panels' limits) as JSON to this file"


def csv_rows(path, header, bad_input, what):
    """Yields (line number, cells) for each row after the header, which must equal `header`. A file that cannot
    be read, has another header or is not CSV raises bad_input naming the path, the line and `what` it should
    be."""
    try:
        handle = open(path, newline="", encoding="utf-8")
    except OSError as error:
        raise bad_input(f"{path}: cannot read: {error.strerror}")
    with handle:
        rows = csv.reader(handle)
        try:
            if next(rows, None) != header:
                raise bad_input(f"{path}: line 1: expected the header {','.join(header)}")
            for row in rows:
                yield rows.line_num, row
        except (csv.Error, UnicodeDecodeError) as error:
            raise bad_input(f"{path}: not {what}: {error}")


def peer_colors(peers):
    """{peer: colour} in the order given."""
    return {peer: PEER_PALETTE[index % len(PEER_PALETTE)] for index, peer in enumerate(peers)}


def json_number(value):
    """A float as JSON takes it: None for NaN (a gap in a line)."""
    value = float(value)
    return None if math.isnan(value) else value


def drawn_data(figure):
    """What the figure's panels drew: per panel its title, x and y limits, every line that carries an id
    (its gid) with its colour and its data as drawn (a step line's change points and its end; null where the
    line has a gap), and every set of markers that carries one with their places (y in the panel's own
    coordinates where a marker sits on the panel's edge)."""
    panels = []
    for axis in figure.axes:
        lines = [{"id": line.get_gid(), "label": line.get_label(), "color": mcolors.to_hex(line.get_color()),
                  "x": [json_number(x) for x in line.get_xdata()], "y": [json_number(y) for y in line.get_ydata()]}
                 for line in axis.get_lines() if line.get_gid()]
        markers = [{"id": marks.get_gid(), "x": [json_number(x) for x, _ in marks.get_offsets()],
                    "y": [json_number(y) for _, y in marks.get_offsets()]}
                   for marks in axis.collections if marks.get_gid()]
        panels.append({"title": axis.get_title(loc="left") or axis.get_title(), "xlim": list(axis.get_xlim()),
                       "ylim": list(axis.get_ylim()), "lines": lines, "markers": markers})
    return {"panels": panels}


def write_dump(figure, path):
    """Writes drawn_data as JSON; raises OSError when the file cannot be written."""
    with open(path, "w", encoding="utf-8") as handle:
        json.dump(drawn_data(figure), handle, indent=1)
        handle.write("\n")


def save(figure, png, dump):
    """Writes the PNG, and the dump when a path is given; returns the exit status (2: a file that cannot be
    written, named on standard error)."""
    for path, write in ((png, lambda path: figure.savefig(path, dpi=100, format="png")),
                        (dump, lambda path: write_dump(figure, path))):
        try:
            if path is not None:
                write(path)
        except OSError as error:
            print(f"{path}: cannot write: {error.strerror or error}", file=sys.stderr)
            return 2
    return 0


def run(doc, input_help, default_title, draw, bad_input):
    """The scripts' command line, INPUT OUTPUT.png [--title TITLE] [--dump DRAWN.json]: draw(input path, title)
    returns the figure, or raises bad_input (its text names the file and the line: exit status 2); then
    save. Returns the exit status."""
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("input", help=input_help)
    parser.add_argument("png", help="the picture to write")
    parser.add_argument("--title", default=default_title)
    parser.add_argument("--dump", help=DUMP_HELP)
    args = parser.parse_args()
    try:
        figure = draw(args.input, args.title)
    except bad_input as error:
        print(error, file=sys.stderr)
        return 2
    return save(figure, args.png, args.dump)
