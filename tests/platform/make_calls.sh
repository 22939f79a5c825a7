#!/usr/bin/env bash
# Writes the host's calls on the project's fixed inputs (every bundled scenario, the calls each bundled
# meeting's simulation makes) into OUT_DIR/calls/NAME.calls, with ktr replay --calls, and the native call
# player's output on each into OUT_DIR/answers/NAME.txt. platform.answers replays the stored calls on the
# build's platform (under emulation in a cross build) and compares with the stored answers;
# platform.calls_current checks that they are still this build's. After a deliberate change of behaviour, run
#   tests/platform/make_calls.sh build/default tests/platform
# Usage: make_calls.sh BUILD_DIR OUT_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
source "$root/tests/golden/fixed_inputs.sh"
build_dir=$1
out=$2
work="$(mktemp -d "${TMPDIR:-/tmp}/ktr-calls.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out/calls" "$out/answers"

write_calls() {  # write_calls NAME SCENARIO
    "$build_dir/ktr" replay "$2" --calls "$out/calls/$1.calls" >/dev/null
    "$build_dir/tests/platform/call_player" "$out/calls/$1.calls" >"$out/answers/$1.txt"
}

for_each_fixed_input "$root" "$build_dir" "$work" write_calls
