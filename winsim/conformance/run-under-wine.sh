#!/usr/bin/env bash
# run-under-wine.sh PROGRAM.exe [ARGS...]
# Runs a console program of the Windows x64 build under Wine, headless: no
# display, Wine's own diagnostics off, and a Wine prefix of its own beside the
# program, or CONF_WINEPREFIX (made on the first run, kept for the next ones).
# Installs nothing: Wine (Debian's wine and wine64) must be there.  The exit
# status is the program's.
set -euo pipefail

exe=${1:-}
if [ -z "$exe" ] || [ ! -f "$exe" ]; then
  echo "usage: run-under-wine.sh PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
shift
wine=$(command -v wine || true)
[ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
if [ -z "$wine" ]; then
  echo "run-under-wine: Wine is not installed" >&2
  exit 2
fi

dir=$(cd "$(dirname "$exe")" && pwd)
export WINEPREFIX=${CONF_WINEPREFIX:-$dir/wineprefix}
export WINEDEBUG=-all
# Without .NET and HTML engines the first start neither asks for nor
# downloads them.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "run-under-wine: preparing the Wine prefix $WINEPREFIX"
  timeout 300 "$wine" wineboot --init >/dev/null 2>&1 || true
fi
cd "$dir"
timeout "${CONF_WINE_TIMEOUT:-300}" "$wine" "$dir/$(basename "$exe")" "$@"
