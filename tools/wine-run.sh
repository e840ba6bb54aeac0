#!/bin/sh
# Runs a Windows program under Wine, the MinGW-w64 build's emulator. Wine's server keeps
# open the streams of the program that started it, and a test runner would wait for it;
# the first run starts it on /dev/null, and keeps it up (wineserver64 -k ends it).
set -e
export WINEDEBUG="${WINEDEBUG--all}"
# The wineserver on the PATH is of a package that wine64 only recommends.
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
for program in "$wine" "$wineserver"; do
  [ -x "$program" ] || { echo "wine-run.sh: $program is missing (package wine64)" >&2; exit 127; }
done
prefix=${WINEPREFIX:-$HOME/.wine}
mkdir -p "$prefix"  # which the server needs; wineboot fills it in
(
  flock 9  # parallel runs wait while the first sets Wine up
  if "$wineserver" -p </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"$prefix/calculator-wine-run.lock"
exec "$wine" "$@"
