#!/usr/bin/env bash
# The demo: a simulated unit (TX on COM3 at 9600 baud unless told otherwise) in a fresh
# port directory, and the tool upgrading it in this terminal. The simulator and the
# directory go away afterwards, also on Ctrl-C.
#
#   tools/demo.sh [BUILD_DIR] [--fast] [--windows] [unit-sim options...]
#
# --fast runs the test-time build of the tool (every pause and read time-out divided by
# its factor) against a simulator told the same factor: the whole upgrade in seconds.
# --windows runs the tool of the Windows build (build-windows/, `make windows`) under
# Wine instead, with COM1 to COM32 mapped into the port directory (tools/wine-run.sh).
# Any other option goes to unit-sim, e.g. --variant rx, --rate 115200, --fault no-prompt
# (see build/unit-sim --help).
set -u

build=build
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  build=$1
  shift
fi
program=KestraneFwUpgrade
windows=
sim_args=()
for arg in "$@"; do
  if [ "$arg" = "--fast" ]; then
    program=KestraneFwUpgrade-testtime
    divisor=$(sed -n 's/^KESTRANE_TEST_TIME_DIVISOR:STRING=//p' "$build/CMakeCache.txt")
    sim_args+=(--time-divisor "${divisor:-10}")
  elif [ "$arg" = "--windows" ]; then
    windows=${WINDOWS_DIR:-build-windows}
  else
    sim_args+=("$arg")
  fi
done
if [ -n "$windows" ]; then
  tool=("$(dirname "$0")/wine-run.sh" "$windows/$program.exe")
  if [ ! -f "$windows/$program.exe" ]; then
    echo "demo: $windows/$program.exe is missing: run make windows first" >&2
    exit 1
  fi
else
  tool=("$build/$program")
fi

dir=$(mktemp -d /tmp/kestrane-demo-XXXXXX)
sim_pid=
cleanup() {
  if [ -d "$dir/.wine" ]; then
    WINEPREFIX="$dir/.wine" "$(command -v wineserver || echo /usr/lib/wine/wineserver64)" -k 2>/dev/null
  fi
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$build/unit-sim" --dir "$dir" --port 3 --rate 9600 --variant tx "${sim_args[@]}" >"$dir/unit-sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^unit-sim: ' "$dir/unit-sim.out" 2>/dev/null && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "demo: the unit simulator did not start:" >&2
    cat "$dir/unit-sim.out" >&2
    exit 1
  fi
  sleep 0.1
done
echo "demo: $(head -n 1 "$dir/unit-sim.out")"
echo "demo: running ${tool[*]} with COM_PORT_DIR=$dir"

COM_PORT_DIR="$dir" "${tool[@]}"
status=$?
echo
echo "demo: the tool exited with status $status"
exit "$status"
