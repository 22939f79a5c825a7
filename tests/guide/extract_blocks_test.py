#!/usr/bin/env python3
"""Checks extract_blocks.py: the host's guide yields its blocks, and malformed guides are refused with the
line that is wrong.

Usage: extract_blocks_test.py EXTRACT_BLOCKS GUIDE
"""
import os
import subprocess
import sys
import tempfile

CODE = "```cpp\nint main() { return 0; }\n```\n"


def run(extract, guide_text, directory):
    guide = os.path.join(directory, "guide.md")
    with open(guide, "w", encoding="utf-8") as handle:
        handle.write(guide_text)
    out = os.path.join(directory, "blocks")
    result = subprocess.run([sys.executable, extract, guide, out], capture_output=True, text=True, check=False)
    return result, out


def main():
    extract, real_guide = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        # The real guide: every compiled block is listed, each with its link mode.
        out = os.path.join(directory, "real")
        listed = subprocess.run([sys.executable, extract, real_guide, out], capture_output=True, text=True, check=True)
        names = dict(line.split(" ") for line in listed.stdout.splitlines())
        for name, mode in (("meeting", "logsdk"), ("capture-lines", "logsdk"), ("own-logger", "own-logger")):
            if names.get(name) != mode:
                failures.append(f"the guide's block {name}: {names.get(name)} instead of {mode}")
        if not os.path.exists(os.path.join(out, "meeting.expected")):
            failures.append("the meeting block's output was not extracted")

        # A well-formed guide: code and output land in their files, a fragment is left alone.
        good = (
            "<!-- compiled: one -->\n" + CODE + "<!-- output: one -->\n```text\nhello\n```\n"
            "<!-- fragment -->\n```cpp\nsdk->init(1, 8);\n```\n"
        )
        result, out = run(extract, good, directory)
        if result.returncode != 0 or result.stdout != "one logsdk\n":
            failures.append(f"good guide: exit {result.returncode}, {result.stdout!r} {result.stderr!r}")
        else:
            with open(os.path.join(out, "one.cpp"), encoding="utf-8") as handle:
                if handle.read() != "int main() { return 0; }\n":
                    failures.append("good guide: the code differs")
            with open(os.path.join(out, "one.expected"), encoding="utf-8") as handle:
                if handle.read() != "hello\n":
                    failures.append("good guide: the output differs")

        # Malformed guides, each with the line the message must name.
        bad = {
            "unmarked C++ block": ("text\n" + CODE, "guide.md:2: a C++ block without"),
            "output of no block": ("<!-- output: two -->\n```text\nx\n```\n", "guide.md:1: output of two"),
            "two blocks of one name": ("<!-- compiled: a -->\n" + CODE + "<!-- compiled: a -->\n" + CODE,
                                       "a second block named a"),
            "marker before prose": ("<!-- compiled: a -->\ntext\n", "guide.md:2: expected a ```cpp block"),
            "unclosed block": ("<!-- compiled: a -->\n```cpp\nint x;\n", "guide.md:2: the block is not closed"),
            "bad name": ("<!-- compiled: A_b -->\n" + CODE, "guide.md:1: malformed marker"),
            "no block at all": ("text only\n", "no compiled block"),
        }
        for what, (text, message) in bad.items():
            result, _ = run(extract, text, directory)
            if result.returncode == 0 or message not in result.stderr:
                failures.append(f"{what}: exit {result.returncode}, {result.stderr!r}")

    checks = 3 + 3 + len(bad)
    for failure in failures:
        print("FAIL", failure)
    print(f"{checks - len(failures)} passed, {len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
