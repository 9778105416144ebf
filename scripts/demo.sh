#!/usr/bin/env bash
# Builds the tool and shows what it does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target kyrdecrypt
./build/kyrdecrypt -help
