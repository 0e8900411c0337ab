#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, makes a synthetic
# planet video in the build folder and runs the batch tool on it (Move
# stacking, mean, Lucy-Richardson with 8 iterations), then says where the
# result picture is. Extra arguments go to corvane-cli (e.g. --progress never, -v).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/ensure-deps.sh"
build=${CORVANE_BUILD_DIR:-$here/build}
"$here/scripts/build.sh" "$build"
cd "$build"
echo "Making the sample video: $build/sample.avi (640 x 480, 300 frames)"
"$build/tools/corvane-make-sample" --output sample.avi >/dev/null
echo "Stacking it: corvane-cli --stack-using move --combine mean --deconvolve lr --iterations 8"
"$build/src/cli/corvane-cli" --stack-using move --combine mean --deconvolve lr --iterations 8 \
  --report sample_report.json --output sample_result.bmp "$@" sample.avi >/dev/null
echo "Result picture: $build/sample_result.bmp"
echo "Report: $build/sample_report.json (true shifts: $build/sample.shifts.txt)"
