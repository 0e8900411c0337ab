#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/ensure-deps.sh"
build=${CORVANE_BUILD_DIR:-$here/build}
"$here/scripts/build.sh" "$build" "$@"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
