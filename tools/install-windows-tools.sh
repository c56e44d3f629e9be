#!/usr/bin/env bash
# Makes sure the Windows cross compiler and Wine are installed, from Debian's packages:
# g++-mingw-w64-x86-64-posix builds the Windows programs, wine64 runs them in the tests.
#
#   tools/install-windows-tools.sh [--check]
#
# With --check it only says what is missing (exit 1 if anything is). Installing needs
# root, as on our build machines; otherwise it says which command to run.
set -u

missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || missing+=(g++-mingw-w64-x86-64-posix)
if ! command -v wine64 >/dev/null 2>&1 && [ ! -x /usr/lib/wine/wine64 ]; then
  missing+=(wine64)
fi
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "${1:-}" = "--check" ]; then
  echo "missing: ${missing[*]}"
  exit 1
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "install-windows-tools: ${missing[*]} missing; run as root: apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "install-windows-tools: installing ${missing[*]} from Debian's packages (the Windows build and its tests need them)"
export DEBIAN_FRONTEND=noninteractive
if ! apt-get install -y --no-install-recommends "${missing[@]}"; then
  # A fresh machine may not have read the package lists yet.
  apt-get update && apt-get install -y --no-install-recommends "${missing[@]}" || {
    echo "install-windows-tools: could not install ${missing[*]}" >&2
    exit 1
  }
fi
