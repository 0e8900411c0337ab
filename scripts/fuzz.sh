#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (in build-fuzz/), writes their seed
# corpora, and runs each target for a bounded time. Fails when any target
# finds something (a crash, a sanitizer report, a leak, a time-out, a broken
# property); the input is kept in build-fuzz/fuzz-findings/.
# usage: scripts/fuzz.sh [SECONDS_PER_TARGET (default 60)] [TARGET...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CORVANE_FUZZ_BUILD_DIR:-$here/build-fuzz}
seconds=${1:-60}
shift || true

"$here/scripts/ensure-deps.sh"
CC=clang CXX=clang++ "$here/scripts/build.sh" "$build" -DCORVANE_FUZZ=ON -DCORVANE_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_BUILD_GUI=OFF -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF
"$build/fuzz/corvane-fuzz-seeds" "$build/fuzz-seeds" >/dev/null
mkdir -p "$build/fuzz-findings" "$build/fuzz-logs"

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for fuzzer in "$build"/fuzz/corvane_fuzz_*; do targets+=("${fuzzer##*/corvane_fuzz_}"); done
fi
status=0
for name in "${targets[@]}"; do
  corpus=$build/fuzz-corpus/$name
  log=$build/fuzz-logs/$name.log
  mkdir -p "$corpus"
  # New inputs go into the corpus folder (kept between runs); the seeds are read too.
  if "$build/fuzz/corvane_fuzz_$name" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 \
       -print_final_stats=1 -artifact_prefix="$build/fuzz-findings/$name-" \
       "$corpus" "$build/fuzz-seeds/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $name: ${runs:-?} inputs in ${seconds} s, no finding"
  else
    echo "fuzz $name: FINDING (log: $log)"
    grep -E "ERROR|SUMMARY|corvane fuzz|what\(\)|Test unit written" "$log" | head -20 || true
    status=1
  fi
done
exit $status
