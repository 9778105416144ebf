#!/usr/bin/env bash
# Installs what the Windows build needs, cross-builds KyrDecrypt.exe and the unit tests
# with the windows preset, and runs the tests under Wine: the unit suite, then the
# client end to end against the server and kyrpack of the Linux build
# (KYRDECRYPT_TEST_BUILD_DIR, default build; scripts/test.sh has built it already,
# otherwise the two programs are built here). Prints how long each step took.
set -euo pipefail
cd "$(dirname "$0")/.."
step() {
  local name=$1 start=$SECONDS
  shift
  "$@"
  echo "test-windows: $name took $((SECONDS - start)) s"
}
linux=$(realpath -m "${KYRDECRYPT_TEST_BUILD_DIR:-build}")
step install bash -c 'bash scripts/install-deps.sh && bash scripts/install-windows-deps.sh'
step linux-tools bash -c "cmake -S . -B '$linux' -G Ninja >/dev/null && cmake --build '$linux' --target kyrdecrypt kyrdecrypt-server kyrpack"
step configure cmake --preset windows "-DKYRDECRYPT_E2E_LINUX_BUILD=$linux"
step build bash -c "cmake --build --preset windows && cmake --build --preset windows --target msi"
# The tests' Wine servers and their services stay up between test programs; stop them at the end.
stop_wine() {
  for prefix in build-windows/wineprefix build-windows/e2e/wineprefix; do
    WINEPREFIX="$PWD/$prefix" timeout 30 wineserver -k 2>/dev/null || true
  done
}
trap stop_wine EXIT
# Under load, Wine now and then fails to start a program at all (no output, a failed
# status; seen about once in 300 runs): the preset gives a failed test one more run. A
# test that fails for a reason of its own fails both runs, and the Linux suite runs the
# same tests without a second chance.
step "unit tests" ctest --preset windows -LE e2e
step "end-to-end tests" ctest --preset windows -L e2e
