#!/usr/bin/env bash
# Compares the built library's binary interface (the types reachable from the public header) with the
# stored baseline. Usage: check_abi.sh BASELINE LIBRARY INCLUDE_DIR
set -euo pipefail
baseline=$1
library=$2
include_dir=$3
if [ ! -f "$baseline" ]; then
    echo "no baseline $(basename "$baseline") for this architecture: build the target abi-baseline to write one"
    exit 77
fi
if abidiff --headers-dir2 "$include_dir" "$baseline" "$library"; then
    echo "binary interface matches $(basename "$baseline")"
else
    echo "FAIL: the binary interface changed; if on purpose, rebuild the target abi-baseline and commit it"
    exit 1
fi
