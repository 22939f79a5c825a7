#!/usr/bin/env bash
# Installs what is missing, builds the library and runs the example host.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --target example_host
build/default/examples/example_host "$@"
