#!/usr/bin/env bash
# The main job. Until the batch tool exists it builds everything and runs the
# benchmark suite (each optimised operation against its plain reference loop).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/ensure-deps.sh"
build=${CORVANE_BUILD_DIR:-$here/build}
"$here/scripts/build.sh" "$build"
echo "Running the benchmark suite (build/bench/corvane_bench)..."
"$build/bench/corvane_bench" "$@"
