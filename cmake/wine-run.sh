#!/bin/sh
# Runs a Windows program under Wine, in the project's own prefix unless
# WINEPREFIX names another. The prefix is made on first use, and a persistent
# wineserver is kept alive so that each further start costs ~50 ms, not ~1 s.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
wine=${VX_WINE:-/usr/lib/wine/wine64}
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
server=$(dirname "$wine")/wineserver
[ -x "$server" ] || server=wineserver
# The prefix, the server and the prefix's own background processes are
# started with every descriptor on /dev/null: they outlive this program, and
# a caller reading its output (ctest) would otherwise wait for them to end.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  flock "$WINEPREFIX/.init.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || "$1" wineboot -i' sh "$wine" </dev/null >/dev/null 2>&1
fi
if "$server" -p </dev/null >/dev/null 2>&1; then
  "$wine" wineboot </dev/null >/dev/null 2>&1
fi
exec "$wine" "$@"
