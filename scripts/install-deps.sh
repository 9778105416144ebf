#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, if any is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config openssl ca-certificates curl unzip time
  nlohmann-json3-dev zlib1g-dev libminizip-dev libcurl4-openssl-dev libssl-dev
  libgtest-dev libgmock-dev libmicrohttpd-dev libsqlite3-dev sqlite3 libcli11-dev nginx
  libpq-dev postgresql lintian systemd
  python3 python3-venv python3-pip python3-yaml
  clang-16 libclang-rt-16-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
