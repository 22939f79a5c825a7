#!/usr/bin/env bash
# Compiles the public header on its own under every language level hosts use, with GCC and Clang.
# Usage: check_header.sh INCLUDE_DIR
set -euo pipefail
include_dir=$1
failed=0
for compiler in g++ clang++; do
    for standard in c++11 c++14 c++17 c++20; do
        if ! echo '#include "IKTRSDK.h"' |
            "$compiler" -std="$standard" -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I"$include_dir" -x c++ -; then
            echo "FAIL: $compiler -std=$standard"
            failed=1
        fi
    done
done
[ "$failed" -eq 0 ] && echo "IKTRSDK.h compiles alone with g++ and clang++ under C++11, 14, 17 and 20"
exit "$failed"
