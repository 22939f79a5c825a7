#!/usr/bin/env bash
# Static analysis of src/ and tools/: cppcheck, then clang-tidy with the checks of .clang-tidy, on the
# compile commands of a configured build (default: build/default). Every finding fails; fix it or
# suppress it where it stands with the reason.
# Usage: scripts/static-analysis.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build/default}"

cppcheck --enable=warning,performance,portability --std=c++17 --quiet --inline-suppr --error-exitcode=1 \
    --suppress=missingIncludeSystem -I include -I src src tools

find src tools -name '*.cpp' -print0 | sort -z |
    xargs -0 -P "$(nproc)" -n 4 clang-tidy -p "$build_dir" --quiet 2>/dev/null
echo "static analysis: cppcheck and clang-tidy found nothing"
