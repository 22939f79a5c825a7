#!/usr/bin/env bash
# Installs the built library into a scratch prefix, then builds and runs a consumer against it twice:
# through the CMake package and through pkg-config.
# Usage: check_consumer.sh BUILD_DIR CONSUMER_SOURCE_DIR SCRATCH_DIR
set -euo pipefail
# shellcheck source=tests/consumer/consumer_build.sh
source "$(dirname "$0")/consumer_build.sh"
build_dir=$1
source_dir=$2
scratch=$3
prefix=$scratch/prefix

rm -rf "$scratch"
cmake --install "$build_dir" --prefix "$prefix" >/dev/null

libdir=$(find "$prefix" -name 'libktrsdk.so' -printf '%h\n' | head -n 1)
build_and_run_consumer "$source_dir" "$libdir" "$scratch"
