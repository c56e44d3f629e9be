#!/usr/bin/env bash
# Runs a program of the Windows build under Wine, with COM1 to COM32 mapped into the
# port directory of simulated units, as the Linux build maps them with COM_PORT_DIR.
#
#   [COM_PORT_DIR=DIR] tools/wine-run.sh PROGRAM.exe [ARGUMENTS...]
#
# Wine keeps its settings in a prefix. A template prefix is made once (the first start of
# Wine takes some ten seconds) in $KESTRANE_WINE_TEMPLATE, by default
# build-windows/wine-template; each port directory gets a copy of its own in DIR/.wine,
# made of hard links, whose dosdevices/comN point to DIR/COMn. Without COM_PORT_DIR the
# program gets a copy with no COM port at all, removed after the run.
#
# Wine's mount manager is kept from starting: it would give every COM number named in the
# prefix's registry a device of its own, which opens even while DIR/COMn is absent, and it
# would map the machine's own serial devices (/dev/ttyS*, /dev/ttyUSB*) to free COM
# numbers. Without it, COMn is exactly the link dosdevices/comN, and an absent unit is an
# absent port.
set -u

if [ $# -eq 0 ] || [ "$1" = "--help" ] || [ "$1" = "-h" ]; then
  sed -n '2,16s/^# \{0,1\}//p' "$0"
  [ $# -eq 0 ] && exit 64 || exit 0
fi

here=$(cd "$(dirname "$0")" && pwd)
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
[ -x "$wine" ] || { echo "wine-run: wine64 is not installed (tools/install-windows-tools.sh)" >&2; exit 69; }
template=${KESTRANE_WINE_TEMPLATE:-$here/../build-windows/wine-template}

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mountmgr.sys=d;winemenubuilder.exe=d"

# The template, made once; a concurrent run waits for the one that makes it.
mkdir -p "$(dirname "$template")"
(
  flock 9
  if [ ! -f "$template/.complete" ]; then
    rm -rf "$template"
    WINEPREFIX="$template" "$wine" wineboot --init >/dev/null 2>&1
    WINEPREFIX="$template" "$wineserver" -w
    rm -f "$template"/dosdevices/com* "$template"/dosdevices/lpt*
    touch "$template/.complete"
  fi
) 9>"$template.lock" || exit 69
[ -f "$template/.complete" ] || { echo "wine-run: could not make the Wine prefix $template" >&2; exit 69; }

temporary=
if [ -n "${COM_PORT_DIR:-}" ]; then
  prefix="$COM_PORT_DIR/.wine"
else
  temporary=$(mktemp -d "${TMPDIR:-/tmp}/kestrane-wine-XXXXXX")
  prefix="$temporary/prefix"
fi
if [ ! -d "$prefix" ]; then
  # Hard links for the system files, real copies of what Wine rewrites.
  cp -al "$template" "$prefix.new" &&
    for f in "$prefix.new"/*.reg; do cp --remove-destination "$template/$(basename "$f")" "$f"; done &&
    mv "$prefix.new" "$prefix" || { echo "wine-run: could not copy the Wine prefix to $prefix" >&2; exit 69; }
  if [ -n "${COM_PORT_DIR:-}" ]; then
    for n in $(seq 1 32); do ln -s "$COM_PORT_DIR/COM$n" "$prefix/dosdevices/com$n"; done
  fi
fi

export WINEPREFIX="$prefix"
# The server of the prefix is started here, apart from the program's streams: it opens
# the serial devices for its clients, so a unit that hangs up sends it SIGHUP, on which it
# writes its object table to the standard error it was started with.
"$wineserver" </dev/null >/dev/null 2>&1
if [ -z "$temporary" ]; then
  exec "$wine" "$@"
fi
"$wine" "$@"
status=$?
"$wineserver" -k 2>/dev/null
rm -rf "$temporary"
exit "$status"
