#!/usr/bin/env bash
# Runs a program built for the build's platform (through the cross-compiling emulator when there is one) on
# stored inputs and compares its output with the stored one byte for byte; prints the first differences.
#   check_answers.sh calls STORED_DIR [EMULATOR...] CALL_PLAYER
#     the call player on every STORED_DIR/calls/NAME.calls, against STORED_DIR/answers/NAME.txt
#   check_answers.sh fuzz STORED_FILE CORPUS_DIR [EMULATOR...] FUZZ_GOLDEN
#     the fuzz target's trace on every input of CORPUS_DIR, against STORED_FILE
# The program is the last argument; the ones before it, after the fixed ones, are the emulator's command.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../golden/fixed_inputs.sh"
mode=$1
shift
fresh="$(mktemp "${TMPDIR:-/tmp}/ktr-answers.XXXXXX")"
trap 'rm -f "$fresh"' EXIT

case "$mode" in
calls)
    stored_dir=$1
    shift
    count=0
    for calls in "$stored_dir"/calls/*.calls; do
        if ! "$@" "$calls" >"$fresh"; then
            echo "FAIL: the call player stopped on $calls"
            exit 1
        fi
        same_as_stored "$stored_dir/answers/$(basename "$calls" .calls).txt" "$fresh" \
            "the library answers or logs otherwise on this platform" || exit 1
        count=$((count + 1))
    done
    if [ "$count" -eq 0 ]; then
        echo "FAIL: no calls files in $stored_dir/calls"
        exit 1
    fi
    echo "platform answers: $count calls files, every answer and line as stored"
    ;;
fuzz)
    stored=$1
    corpus=$2
    shift 2
    if ! "$@" "$corpus"/* >"$fresh"; then
        echo "FAIL: the fuzz target stopped on $corpus"
        exit 1
    fi
    same_as_stored "$stored" "$fresh" "the library answers or logs otherwise on this platform" || exit 1
    echo "platform fuzz answers: every input's answers and lines as stored"
    ;;
*)
    echo "usage: check_answers.sh calls STORED_DIR [EMULATOR...] CALL_PLAYER" >&2
    echo "       check_answers.sh fuzz STORED_FILE CORPUS_DIR [EMULATOR...] FUZZ_GOLDEN" >&2
    exit 2
    ;;
esac
