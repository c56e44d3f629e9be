#!/usr/bin/env bash
# Runs every benchmark and prints its figures. Benchmarks never fail: a missing tool or
# program is reported and skipped. The pace benchmarks run the real protocol timing, so
# the whole set takes about five minutes.
#   bench/run.sh [BUILD_DIR]
set -u
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
for program in assembly_throughput discovery_pace upgrade_pace; do
  if [ -x "$build/bench/$program" ]; then
    "$build/bench/$program"
  else
    echo "bench: $build/bench/$program is missing: build first" >&2
  fi
  echo
done
"$here/fwimage_vs_objcopy.sh" "$build"
exit 0
