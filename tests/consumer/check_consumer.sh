#!/usr/bin/env bash
# Installs the built library into a scratch prefix, then builds and runs a consumer against it twice:
# through the CMake package and through pkg-config.
# Usage: check_consumer.sh BUILD_DIR CONSUMER_SOURCE_DIR SCRATCH_DIR
set -euo pipefail
build_dir=$1
source_dir=$2
scratch=$3
prefix=$scratch/prefix

rm -rf "$scratch"
cmake --install "$build_dir" --prefix "$prefix" >/dev/null

cmake -S "$source_dir" -B "$scratch/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/cmake-build" >/dev/null
"$scratch/cmake-build/consumer"

libdir=$(find "$prefix" -name 'libktrsdk.so' -printf '%h\n' | head -n 1)
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046
c++ -std=c++11 -o "$scratch/pkgconfig-consumer" "$source_dir/consumer.cpp" $(pkg-config --cflags --libs ktrsdk logsdk)
LD_LIBRARY_PATH=$libdir "$scratch/pkgconfig-consumer"
