#!/bin/sh
# Runs a Windows program of the cross build under Wine, quietly and without a display.
#   wine.sh PREFIX PROGRAM.exe [ARGS...]
# The prefix is made on first use.
set -e
WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
WINE=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$WINE" wineboot -i >/dev/null 2>&1
fi
exec "$WINE" "$@"
