#!/usr/bin/env bash
# Configures (once) and builds one build folder incrementally.
# usage: scripts/build.sh BUILD_DIR [extra cmake -D options...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$1; shift
if [[ ! -f "$dir/build.ninja" ]]; then
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
elif [[ $# -gt 0 ]]; then
  cmake "$dir" "$@" >/dev/null
fi
cmake --build "$dir"
