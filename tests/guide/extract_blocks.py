#!/usr/bin/env python3
"""Extracts the marked code blocks of the host's guide.

A C++ block that the tests compile and run is preceded by a comment line naming it:

    <!-- compiled: NAME -->            linked with libktrsdk.so and the stand-in logger liblogsdk.so
    <!-- compiled: NAME own-logger --> linked with libktrsdk.so only: the block defines the xlog functions

and the output such a block must print, where the guide shows it, by

    <!-- output: NAME -->

before a fenced text block. A C++ block that is only a fragment is marked <!-- fragment -->; an unmarked
C++ block is an error, so that no example escapes the compiler.

Usage: extract_blocks.py GUIDE OUTPUT_DIR
Writes NAME.cpp and NAME.expected (when shown) into OUTPUT_DIR, leaving files whose content is unchanged
untouched, and prints one line per compiled block: NAME, a blank and its link mode (logsdk or own-logger).
"""
import os
import re
import sys

MARK = re.compile(r"^<!-- (compiled|output): ([a-z0-9-]+)(?: (own-logger))? -->$")
FRAGMENT = "<!-- fragment -->"
NAME_RULE = "block names are lowercase letters, digits and dashes"


def fail(guide, line_number, message):
    sys.exit(f"{guide}:{line_number}: {message}")


def read_fence(guide, lines, start, language):
    """The body of the fenced block that opens at lines[start], which must be in the given language."""
    if start >= len(lines) or lines[start].rstrip("\n") != "```" + language:
        fail(guide, start + 1, f"expected a ```{language} block after the marker")
    body = []
    for index in range(start + 1, len(lines)):
        if lines[index].rstrip("\n") == "```":
            return "".join(body), index
        body.append(lines[index])
    fail(guide, start + 1, "the block is not closed")


def parse(guide):
    with open(guide, encoding="utf-8") as handle:
        lines = handle.readlines()
    blocks = {}  # name -> [mode, code, expected output or None]
    outputs = []
    index = 0
    while index < len(lines):
        text = lines[index].rstrip("\n")
        mark = MARK.match(text)
        if mark:
            kind, name, mode = mark.groups()
            marker_line = index + 1
            body, index = read_fence(guide, lines, index + 1, "cpp" if kind == "compiled" else "text")
            if kind == "compiled":
                if name in blocks:
                    fail(guide, marker_line, f"a second block named {name}")
                blocks[name] = [mode or "logsdk", body, None]
            else:
                outputs.append((marker_line, name, body))
        elif text == FRAGMENT:
            _, index = read_fence(guide, lines, index + 1, "cpp")
        elif text.startswith("<!-- compiled") or text.startswith("<!-- output"):
            fail(guide, index + 1, f"malformed marker ({NAME_RULE})")
        elif text == "```cpp":
            fail(guide, index + 1, "a C++ block without a <!-- compiled: NAME --> or <!-- fragment --> marker")
        index += 1
    for line_number, name, body in outputs:
        if name not in blocks:
            fail(guide, line_number, f"output of {name}, which no compiled block is named")
        blocks[name][2] = body
    return blocks


def write_if_changed(path, content):
    if os.path.exists(path):
        with open(path, encoding="utf-8") as handle:
            if handle.read() == content:
                return
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(content)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: extract_blocks.py GUIDE OUTPUT_DIR")
    guide, output_dir = sys.argv[1], sys.argv[2]
    blocks = parse(guide)
    if not blocks:
        sys.exit(f"{guide}: no compiled block")
    os.makedirs(output_dir, exist_ok=True)
    for name, (mode, code, expected) in sorted(blocks.items()):
        write_if_changed(os.path.join(output_dir, name + ".cpp"), code)
        expected_path = os.path.join(output_dir, name + ".expected")
        if expected is not None:
            write_if_changed(expected_path, expected)
        elif os.path.exists(expected_path):
            os.remove(expected_path)
        print(name, mode)


if __name__ == "__main__":
    main()
