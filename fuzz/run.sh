#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for the given number of seconds each.
#   fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
# New inputs go to BUILD_DIR/fuzz-corpus/<target>; the seeds in fuzz/corpus/<target> are
# read only. A crash is written to BUILD_DIR/fuzz-crashes/<target>/: add it to the seeds
# once it is fixed, so that the test run replays it.
set -u
build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(intel_hex_line assembly version_reply base64)
status=0
for target in "${targets[@]}"; do
  work="$build/fuzz-corpus/$target"
  crashes="$build/fuzz-crashes/$target"
  mkdir -p "$work" "$crashes"
  echo "== fuzz_$target for ${seconds}s"
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$work" "$here/corpus/$target" 2>&1 | tail -n 12
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
done
exit $status
