#!/usr/bin/env bash
# Upgrades several units at once from one machine: one tool process per port directory.
#
#   tools/upgrade-several.sh [--tool PROGRAM] PORT_DIR...
#
# Each PORT_DIR holds the link(s) COMn of one unit (for instance COM1 -> /dev/serial/by-id/...
# of that unit's adapter), so that each tool's port search sees only its own unit. The
# tools run side by side with no terminal; each one's console goes to PORT_DIR/upgrade.log.
# The exit status is 0 when every unit was upgraded and came back with its prompt, else 1;
# each unit's outcome is listed.
set -u

tool="$(dirname "$0")/../build/KestraneFwUpgrade"
if [ "${1:-}" = "--tool" ]; then
  tool=$2
  shift 2
fi
if [ $# -eq 0 ] || [ "$1" = "--help" ] || [ "$1" = "-h" ]; then
  sed -n '2,11s/^# \{0,1\}//p' "$0"
  [ $# -eq 0 ] && exit 2 || exit 0
fi

pids=()
for dir in "$@"; do
  if [ ! -d "$dir" ]; then
    echo "upgrade-several: $dir is not a directory" >&2
    exit 2
  fi
  COM_PORT_DIR="$dir" "$tool" </dev/null >"$dir/upgrade.log" 2>&1 &
  pids+=($!)
done

failed=0
i=0
for dir in "$@"; do
  wait "${pids[$i]}"
  status=$?
  case $status in
    0)
      if grep -q "The update was successful" "$dir/upgrade.log"; then
        verdict="upgraded"
      else
        verdict="uploaded, but the unit's prompt was not seen after the reboot"
        failed=1
      fi
      ;;
    1) verdict="upgrade failed" ;;
    255) verdict="no usable port" ;;
    *) verdict="ended abnormally" ;;
  esac
  echo "$dir: $verdict (exit status $status)"
  [ "$status" -eq 0 ] || failed=1
  i=$((i + 1))
done
exit "$failed"
