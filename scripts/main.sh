#!/usr/bin/env bash
# The main job: installs what is missing, builds everything and makes a
# synthetic planet video in the build folder. With a display ($DISPLAY or
# $WAYLAND_DISPLAY) it opens the desktop program with that video previewed;
# without one (or with --batch first) it runs the batch tool on it (Move
# stacking, mean, Lucy-Richardson with 8 iterations) and says where the result
# picture is. In batch mode further arguments go to corvane-cli (e.g.
# --progress never, -v).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
batch=0
if [[ ${1:-} == --batch ]]; then
  batch=1
  shift
fi
"$here/scripts/ensure-deps.sh"
build=${CORVANE_BUILD_DIR:-$here/build}
"$here/scripts/build.sh" "$build"
cd "$build"
echo "Making the sample video: $build/sample.avi (640 x 480, 300 frames)"
"$build/tools/corvane-make-sample" --output sample.avi >/dev/null

if [[ $batch == 0 && ( -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ) && -x "$build/src/gui/corvane" ]]; then
  echo "Opening the desktop program with the sample video previewed: $build/src/gui/corvane sample.avi"
  echo "(Load, Go!, Calculate, Save; the batch pipeline instead: scripts/main.sh --batch)"
  exec "$build/src/gui/corvane" "$build/sample.avi"
fi

if [[ $batch == 0 ]]; then
  echo "No display (\$DISPLAY and \$WAYLAND_DISPLAY are not set): running the batch pipeline instead."
fi
echo "Stacking it: corvane-cli --stack-using move --combine mean --deconvolve lr --iterations 8"
"$build/src/cli/corvane-cli" --stack-using move --combine mean --deconvolve lr --iterations 8 \
  --report sample_report.json --output sample_result.bmp "$@" sample.avi >/dev/null
echo "Result picture: $build/sample_result.bmp"
echo "Report: $build/sample_report.json (true shifts: $build/sample.shifts.txt)"
