#!/usr/bin/env bash
# The whole story: installs what is missing, builds the tool, the publisher
# tools and the samples, then publishes the samples on a local server and
# lists, gets, describes and runs them (scripts/demo.py).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${KYRDECRYPT_DEMO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja
cmake --build "$build" --target kyrdecrypt kyrpack kyrdecrypt-server kyrsample_decryptor kyrsample-encrypt
python3 scripts/demo.py --build "$build"
