#!/usr/bin/env bash
# The whole story: installs what is missing, builds the tool, the publisher
# tools and the samples, then publishes the samples on a local server and
# lists, gets, describes and runs them (scripts/demo.py).
# With --windows the client is KyrDecrypt.exe under Wine, with the sample's DLLs
# from the Windows build (build-windows); the server and kyrpack stay Linux programs.
set -euo pipefail
cd "$(dirname "$0")/.."
windows=0
case "${1:-}" in
  --windows) windows=1 ;;
  "") ;;
  *) echo "usage: demo.sh [--windows]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh
build=${KYRDECRYPT_DEMO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja
if ((windows)); then
  cmake --build "$build" --target kyrpack kyrdecrypt-server
  bash scripts/install-windows-deps.sh
  cmake --preset windows
  cmake --build --preset windows --target kyr-add-root-cert kyrsample_decryptor kyrsample-encrypt
  # The demo's Wine server outlives the last program by a few seconds; stop it with the demo.
  prefix=$(realpath -m "$build/demo-windows/config/wineprefix")
  trap 'WINEPREFIX=$prefix timeout 30 wineserver -k 2>/dev/null || true' EXIT
  python3 scripts/demo.py --build "$build" --windows build-windows
else
  cmake --build "$build" --target kyrdecrypt kyrpack kyrdecrypt-server kyrsample_decryptor kyrsample-encrypt
  python3 scripts/demo.py --build "$build"
fi
