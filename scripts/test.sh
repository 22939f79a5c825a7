#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the normal build (GCC), then the
# whole suite under AddressSanitizer + UndefinedBehaviorSanitizer and the library's under ThreadSanitizer
# (Clang), the library's tests cross-built for 64-bit and 32-bit ARM and run under qemu-user, then the
# API reference (every Doxygen warning an error), cppcheck and clang-tidy over src/ and tools/, and the
# fuzz corpora.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
for preset in default asan tsan aarch64 armhf; do
    echo "=== $preset ==="
    cmake --workflow --preset "$preset"
done

echo "=== API reference ==="
cmake --build --preset default --target docs

echo "=== static analysis ==="
scripts/static-analysis.sh build/default

echo "=== fuzz ==="
scripts/fuzz.sh
