#!/bin/sh
# Runs a Windows program under Wine: the emulator of the MinGW-w64 build.
#
# Wine's server and its background services keep open the standard streams of
# the program that started them for as long as they live, and a test runner
# reading that program's output through a pipe would wait for them. So the
# first run starts them with their streams on /dev/null, and keeps the server
# up, which also makes each later run start in milliseconds instead of
# seconds. `/usr/lib/wine/wineserver64 -k` ends it.
set -e
export WINEDEBUG="${WINEDEBUG--all}"
# Both from Debian's package wine64; the wineserver on the PATH comes from
# another package, which wine64 only recommends.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
for program in "$wine" "$wineserver"; do
  if [ ! -x "$program" ]; then
    echo "wine-run.sh: $program is missing (Debian package wine64)" >&2
    exit 127
  fi
done
prefix=${WINEPREFIX:-$HOME/.wine}
# The server needs its prefix folder; wineboot fills it in.
mkdir -p "$prefix"

(
  # Parallel runs wait here while the first one sets Wine up.
  flock 9
  # Succeeds only when it starts a new server.
  if "$wineserver" -p </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"$prefix/calculator-wine-run.lock"

exec "$wine" "$@"
