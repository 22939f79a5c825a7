#!/usr/bin/env bash
# Fails unless the library defines exactly the expected dynamic symbols and imports the three xlog functions.
# Usage: check_symbols.sh LIBRARY EXPECTED_EXPORTS (KTRSDK_TARGET_NM names the target's nm in a cross build)
set -euo pipefail
library=$1
expected=$2
nm=${KTRSDK_TARGET_NM:-nm}

actual=$("$nm" -D --defined-only --demangle "$library" | cut -d' ' -f3- | LC_ALL=C sort -u)
if ! diff -u <(LC_ALL=C sort -u "$expected") <(echo "$actual"); then
    echo "FAIL: exported symbols differ from $expected (- expected, + actual)"
    exit 1
fi

imported=$("$nm" -D --undefined-only --demangle "$library" | sed 's/^ *U //')
for function in logi logw loge; do
    if ! grep -qx "xlog::$function(char const\*, ...)" <<<"$imported"; then
        echo "FAIL: xlog::$function is not imported by $library"
        exit 1
    fi
done
echo "exports match $(wc -l <"$expected") expected symbols; xlog functions imported"
