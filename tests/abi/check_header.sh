#!/usr/bin/env bash
# Compiles the public header on its own under every language level hosts use, with GCC and Clang for the
# build's target.
# Usage: check_header.sh INCLUDE_DIR TARGET_TRIPLE
set -euo pipefail
include_dir=$1
triple=$2
failed=0
for compiler in "$triple-g++" "clang++ --target=$triple"; do
    for standard in c++11 c++14 c++17 c++20; do
        # shellcheck disable=SC2086
        if ! echo '#include "IKTRSDK.h"' |
            $compiler -std="$standard" -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I"$include_dir" -x c++ -; then
            echo "FAIL: $compiler -std=$standard"
            failed=1
        fi
    done
done
[ "$failed" -eq 0 ] && echo "IKTRSDK.h compiles alone for $triple with GCC and Clang under C++11, 14, 17 and 20"
exit "$failed"
