#!/usr/bin/env bash
# Builds with gcov instrumentation, runs the test suite, and prints the line and branch coverage of src/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh gcovr
find build/coverage -name '*.gcda' -delete 2>/dev/null || true
cmake --workflow --preset coverage >/dev/null
gcovr --root . --filter 'src/' --object-directory build/coverage --exclude-directories 'build/coverage/CMakeFiles/[0-9].*' --exclude-unreachable-branches \
    --exclude-throw-branches --print-summary --txt build/coverage/coverage.txt
