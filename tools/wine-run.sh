#!/usr/bin/env bash
# Runs a program of the Windows build under Wine, with COM1 to COM32 mapped into the
# port directory of simulated units, as the Linux build maps them with COM_PORT_DIR.
#
#   [COM_PORT_DIR=DIR] tools/wine-run.sh PROGRAM.exe [ARGUMENTS...]
#
# KESTRANE_WINE_PORTS=DIR maps the ports into DIR without handing the program
# COM_PORT_DIR, as on a real Windows machine, where a sample build opens no port.
#
# Wine keeps its settings in a prefix. A template prefix is made once (the first start of
# Wine takes some ten seconds) in $KESTRANE_WINE_TEMPLATE, by default
# build-windows/wine-template; each port directory gets a copy of its own in DIR/.wine,
# made of hard links, whose dosdevices/comN point to DIR/COMn. Without a port directory
# the program runs in a copy with no COM port at all, beside the template.
#
# Wine's mount manager is kept from starting: it would give every COM number named in the
# prefix's registry a device of its own, which opens even while DIR/COMn is absent, and it
# would map the machine's own serial devices (/dev/ttyS*, /dev/ttyUSB*) to free COM
# numbers. Without it, COMn is exactly the link dosdevices/comN, and an absent unit is an
# absent port.
set -u

if [ $# -eq 0 ] || [ "$1" = "--help" ] || [ "$1" = "-h" ]; then
  sed -n '2,20s/^# \{0,1\}//p' "$0"
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

# The port directory the prefix maps COM1 to COM32 into: COM_PORT_DIR, or
# KESTRANE_WINE_PORTS to map one without telling the program (it then sees no
# COM_PORT_DIR, as on a real Windows machine).
ports=${KESTRANE_WINE_PORTS:-${COM_PORT_DIR:-}}
if [ -n "$ports" ]; then
  prefix="$ports/.wine"
else
  prefix="$template.no-ports"
fi
# Hard links for the system files, real copies of what Wine rewrites; a concurrent run
# waits for the one that makes the copy.
(
  flock 9
  if [ ! -d "$prefix" ]; then
    rm -rf "$prefix.new"
    # A port directory on another file system than the template gets a real copy.
    { cp -al "$template" "$prefix.new" 2>/dev/null || { rm -rf "$prefix.new" && cp -a "$template" "$prefix.new"; }; } &&
      for f in "$prefix.new"/*.reg; do cp --remove-destination "$template/$(basename "$f")" "$f"; done || exit 1
    if [ -n "$ports" ]; then
      for n in $(seq 1 32); do ln -s "$ports/COM$n" "$prefix.new/dosdevices/com$n" || exit 1; done
    fi
    mv "$prefix.new" "$prefix" || exit 1
  fi
) 9>"$prefix.lock" || { echo "wine-run: could not copy the Wine prefix to $prefix" >&2; exit 69; }

export WINEPREFIX="$prefix"
# The server of the prefix is started here, apart from the program's streams: it opens
# the serial devices for its clients, so a unit that hangs up sends it SIGHUP, on which it
# writes its object table to the standard error it was started with.
"$wineserver" </dev/null >/dev/null 2>&1
exec "$wine" "$@"
