#!/usr/bin/env bash
# Runs one Windows program under Wine for the cross build's tests: a Wine prefix of the
# build's own (KYRDECRYPT_WINEPREFIX, else beside the program), no debug output, no
# crash debugger, a wineserver kept alive between runs, and a bound on every run.
set -euo pipefail
program=$1
shift
export WINEPREFIX=${KYRDECRYPT_WINEPREFIX:-$(cd "$(dirname "$program")" && pwd)/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree,mshtml="
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY DISPLAY
limit=${KYRDECRYPT_WINE_TIMEOUT:-300}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Prefix creation runs once per build; a concurrent first run waits for it.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  [ -f "$WINEPREFIX/system.reg" ] || timeout 300 "$wine" wineboot --init >/dev/null 2>&1 || true
  flock -u 9
fi
# A server kept alive past the last program: each run then starts in tens of
# milliseconds instead of a second. scripts/test-windows.sh stops it at the end.
timeout 30 wineserver -p30 >/dev/null 2>&1 || true
# Wine's services start with the first program of a server and outlive it, holding that
# program's output open: start them here, away from the caller's pipes, or a caller that
# reads to the end (ctest) would wait for them.
timeout 60 "$wine" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
exec timeout "$limit" "$wine" "$program" "$@"
