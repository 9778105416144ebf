#!/usr/bin/env bash
# Installs what the Windows build needs, cross-builds KyrDecrypt.exe and the unit tests
# with the windows preset, and runs the tests under Wine. Prints how long each step took.
set -euo pipefail
cd "$(dirname "$0")/.."
step() {
  local name=$1 start=$SECONDS
  shift
  "$@"
  echo "test-windows: $name took $((SECONDS - start)) s"
}
step install bash scripts/install-windows-deps.sh
step configure cmake --preset windows
step build cmake --build --preset windows
# The tests' Wine server and its services stay up between test programs; stop them at the end.
stop_wine() { WINEPREFIX="$PWD/build-windows/wineprefix" timeout 30 wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT
# Under load, Wine now and then fails to start a program at all (no output, a failed
# status; seen about once in 300 runs): the preset gives a failed test one more run. A
# test that fails for a reason of its own fails both runs, and the Linux suite runs the
# same tests without a second chance.
step test ctest --preset windows
