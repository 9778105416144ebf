#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite; then the
# unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer, and every
# fuzz target for a short bounded time (KYRDECRYPT_FUZZ_SECONDS, default 30 each).
# Each step says how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${KYRDECRYPT_TEST_BUILD_DIR:-build}
step() { echo "== $1"; SECONDS=0; }
took() { echo "== $1: ${SECONDS}s"; }

step "regular build and the whole suite"
cmake -S . -B "$build" -G Ninja
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --timeout 600
took "regular build and the whole suite"

# The end-to-end tests build a second client; under the sanitizers the unit tests suffice.
# Unoptimised: it compiles in a quarter of the time (the suite is not bound by speed), no
# access is optimised away before the sanitizers see it, and assertions stay on.
step "unit tests under the sanitizers"
sanitize=${build}-sanitize
cmake -S . -B "$sanitize" -G Ninja -DKYRDECRYPT_SANITIZE=ON -DKYRDECRYPT_BUILD_PUBLISHER=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build "$sanitize" --target kyrcore_tests
ctest --test-dir "$sanitize" --output-on-failure --timeout 600 -L unit
took "unit tests under the sanitizers"

step "short fuzz runs"
KYRDECRYPT_FUZZ_BUILD_DIR=${build}-fuzz bash scripts/fuzz.sh "${KYRDECRYPT_FUZZ_SECONDS:-30}"
took "short fuzz runs"

# The Windows client, cross-built and tested under Wine. KYRDECRYPT_SKIP_WINDOWS=1 skips
# it for quick local loops; CI never sets it.
if [ "${KYRDECRYPT_SKIP_WINDOWS:-0}" != 1 ]; then
  step "Windows client under Wine"
  bash scripts/test-windows.sh
  took "Windows client under Wine"
fi
