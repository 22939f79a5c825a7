#!/usr/bin/env bash
# Installs what is missing, builds the library and ktr-replay, and replays a scenario: the bundled team
# meeting, or the file given. Any further arguments go to ktr-replay (--log, --csv FILE).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh >&2
cmake --preset default >/dev/null
cmake --build --preset default --target ktr-replay >/dev/null
build/default/tools/replay/ktr-replay "$@"
