#!/usr/bin/env bash
# Writes the calls and the native answers again (make_calls.sh) and compares them with the stored ones, so
# that the stored files follow the tools and the library. Usage: check_calls.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../golden/fixed_inputs.sh"
rm -rf "$2"
"$here/make_calls.sh" "$1" "$2"
stored_files=$(cd "$here" && ls calls/*.calls answers/*.txt)
fresh_files=$(cd "$2" && ls calls/*.calls answers/*.txt)
if [ "$stored_files" != "$fresh_files" ]; then
    echo "FAIL: the stored files are not the ones make_calls.sh writes:"
    diff <(echo "$stored_files") <(echo "$fresh_files")
    exit 1
fi
for name in $stored_files; do
    same_as_stored "$here/$name" "$2/$name" "rerun tests/platform/make_calls.sh after a deliberate change" || exit 1
done
echo "platform calls: $(echo "$stored_files" | wc -l) files, as this build writes them"
