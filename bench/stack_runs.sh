#!/usr/bin/env bash
# Whole batch runs, timed in turns in one session so that they share the
# machine's load, with the median of each and its ratio to the default run:
#  - 1000 frames of 640 x 480 (uncompressed video): the defaults, and the
#    sharpness rating with keep-best 10 % and sub-sample placement;
#  - 101 frames of 1280 x 960 (MPEG-4 video): the same two runs.
# usage: bench/stack_runs.sh BUILD_DIR [RUNS]
# CORVANE_BASE_CLI=path also times another build's corvane-cli with the
# defaults (for instance one from before a change).
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-5}
cli=$build/src/cli/corvane-cli
base=${CORVANE_BASE_CLI:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/tools/corvane-make-sample" -n 1000 --seed 3 -o raw1000.avi >/dev/null
"$build/tools/corvane-make-sample" -W 1280 -H 960 -n 101 --seed 4 --codec mpeg4 -o mpeg101.avi >/dev/null
options=(--rate sharpness --keep-best 10 --subpixel)
echo "cores: $(nproc)"

# Prints the median of RUNS timed runs of the command, in seconds.
declare -A times
timed() {
  local name=$1
  shift
  local start end
  start=$(date +%s.%N)
  "$@" --progress never -q -o out.bmp >/dev/null
  end=$(date +%s.%N)
  times[$name]+="$(echo "$end - $start" | bc) "
}
median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

for ((i = 0; i < runs; ++i)); do
  timed raw-defaults "$cli" --memory 1024 raw1000.avi
  timed raw-options "$cli" --memory 1024 "${options[@]}" raw1000.avi
  timed mpeg-defaults "$cli" mpeg101.avi
  timed mpeg-options "$cli" "${options[@]}" mpeg101.avi
  if [[ -n $base ]]; then
    timed raw-base "$base" --memory 1024 raw1000.avi
    timed mpeg-base "$base" mpeg101.avi
  fi
done
for set in raw mpeg; do
  d=$(median "${times[$set-defaults]}")
  o=$(median "${times[$set-options]}")
  printf '%-5s defaults %.3f s, %s %.3f s (x %.2f)' "$set" "$d" "${options[*]}" "$o" "$(echo "$o / $d" | bc -l)"
  if [[ -n $base ]]; then
    b=$(median "${times[$set-base]}")
    printf ', base build defaults %.3f s' "$b"
  fi
  echo
done
