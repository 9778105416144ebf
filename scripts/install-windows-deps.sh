#!/usr/bin/env bash
# Installs what the Windows cross build and its Wine test run need, if anything is missing:
# mingw-w64, zlib for mingw, Wine, the GoogleTest sources, and Debian's zlib source package
# (its contrib/minizip is built for the Windows client). Everything comes through apt.
set -euo pipefail
cache=${KYRDECRYPT_WINDOWS_DEPS_CACHE:-/var/cache/kyrdecrypt}
packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev wine wine64 googletest nlohmann-json3-dev libcli11-dev dpkg-dev cmake ninja-build
  osslsigncode icoutils wixl msitools
)
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The zlib source package, for minizip: fetched once into the cache.
if ! compgen -G "$cache/zlib-src/zlib-*/contrib/minizip/unzip.c" >/dev/null; then
  if ! apt-get source --print-uris zlib >/dev/null 2>&1; then
    # No source index yet: add one for the suites and mirror the binary packages come from.
    # shellcheck disable=SC1091
    . /etc/os-release
    uri=$(grep -hoE '^URIs: *[^ ]+' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1 | awk '{print $2}')
    [ -n "$uri" ] || uri=$(grep -hoE '^deb +[^ ]+' /etc/apt/sources.list 2>/dev/null | head -n1 | awk '{print $2}')
    [ -n "$uri" ] || uri=http://deb.debian.org/debian
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$uri" "$VERSION_CODENAME" | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/kyrdecrypt-src.sources >/dev/null
    "${sudo_cmd[@]}" apt-get update
  fi
  "${sudo_cmd[@]}" mkdir -p "$cache"
  "${sudo_cmd[@]}" rm -rf "$cache/zlib-src.tmp"
  "${sudo_cmd[@]}" mkdir -p "$cache/zlib-src.tmp"
  (cd "$cache/zlib-src.tmp" && "${sudo_cmd[@]}" apt-get source zlib)
  "${sudo_cmd[@]}" rm -rf "$cache/zlib-src"
  "${sudo_cmd[@]}" mv "$cache/zlib-src.tmp" "$cache/zlib-src"
fi
