#!/usr/bin/env bash
# Compares what the build decides and logs on the fixed inputs with the stored golden files; prints the
# first differences. Usage: check_golden.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/fixed_inputs.sh"
rm -rf "$2"
"$here/make_golden.sh" "$1" "$2"
for stored in "$here"/*.jsonl "$here"/*.txt; do
    fresh="$2/$(basename "$stored")"
    same_as_stored "$stored" "$fresh" "a change of behaviour or log text" || exit 1
done
echo "golden: $(ls "$here"/*.jsonl "$here"/*.txt | wc -l) files, every decision and line unchanged"
