#!/bin/sh
# Runs a Windows program under Wine: the emulator of the MinGW-w64 build.
#
# Wine's server and its background services keep open the standard streams of
# the program that started them for as long as they live, and a test runner
# reading that program's output through a pipe would wait for them. So the
# first run starts them with their streams on /dev/null, and keeps the server
# up, which also makes each later run start in milliseconds instead of
# seconds. `wineserver -k` ends it.
set -e
export WINEDEBUG="${WINEDEBUG--all}"
wine=/usr/lib/wine/wine64

(
  # Parallel runs wait here while the first one sets Wine up.
  flock 9
  # The server needs its prefix folder; wineboot fills it in.
  mkdir -p "${WINEPREFIX:-$HOME/.wine}"
  # Succeeds only when it starts a new server.
  if wineserver -p </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"${TMPDIR:-/tmp}/calculator-wine-$(id -u).lock"

exec "$wine" "$@"
