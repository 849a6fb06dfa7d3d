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
WINE_SERVER=$(command -v wineserver || echo "$(dirname "$WINE")/wineserver")
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$WINE" wineboot -i >/dev/null 2>&1
fi
# Windows without a display need Wine's null graphics driver (the editor's tests make some).
if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 || true
  "$WINE_SERVER" -w || true  # the driver is chosen when a session starts
fi
exec "$WINE" "$@"
