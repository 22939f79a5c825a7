#!/usr/bin/env bash
# Writes what the library decides and logs on the project's fixed inputs into OUT_DIR: the replay of every
# bundled scenario, the replay of the calls each bundled meeting's simulation makes (its --record
# scenario, over a trace with an outage), and the answers and lines of the stored fuzz inputs. The test
# golden.decisions compares a fresh run with tests/golden; after a deliberate change of behaviour, run
#   tests/golden/make_golden.sh build/default tests/golden
# Usage: make_golden.sh BUILD_DIR OUT_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
source "$here/fixed_inputs.sh"
build_dir=$1
out=$2
work="$(mktemp -d "${TMPDIR:-/tmp}/ktr-golden.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

decide() {  # decide NAME SCENARIO
    "$build_dir/ktr" replay "$2" --json "$work/replay.jsonl" >/dev/null
    python3 "$here/extract_decisions.py" <"$work/replay.jsonl" >"$out/$1.jsonl"
}

for_each_fixed_input "$root" "$build_dir" "$work" decide
"$build_dir/fuzz/ktrsdk_fuzz_golden" "$root"/fuzz/corpus/* >"$out/fuzz-corpus.txt"
