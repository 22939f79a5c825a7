#!/usr/bin/env bash
# Runs one compiled block of the host's guide; when the guide shows the block's output, the run must print
# exactly that on standard output.
# Usage: run_block.sh EXPECTED_OUTPUT_FILE [EMULATOR...] PROGRAM (a cross build's emulator runs the program)
set -euo pipefail
expected=$1
shift
program=${*: -1}

actual=$("$@")
if [ -f "$expected" ]; then
    if ! diff -u "$expected" <(printf '%s\n' "$actual"); then
        echo "$(basename "$program"): the output differs from the one the guide shows (- guide, + run)" >&2
        exit 1
    fi
    echo "$(basename "$program"): ran and printed the output the guide shows"
else
    echo "$(basename "$program"): ran (the guide shows no output for it)"
fi
