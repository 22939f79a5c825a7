#!/usr/bin/env bash
# Installs what is missing, builds the library and ktr, and replays a scenario: the bundled team meeting,
# or the file given. Further arguments go to `ktr replay` (--explain, --log, --json FILE, --csv FILE, ...).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh >&2
cmake --preset default >/dev/null
cmake --build --preset default --target ktr >/dev/null
build/default/ktr replay "$@"
