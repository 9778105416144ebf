#!/usr/bin/env bash
# Publishes the sample Python decryptor into a package server's repository folder:
#
#   samples/python/publish-sample.sh --key <private.pem> --repo <repository folder>
#       [--wheels <folder>] [--kyrpack build/kyrpack] [--python /usr/bin/python3]
#
# It packs the Python runtime ("python", the interpreter's version), the library
# package "kyrxor" 1.0.0 and the decryptor "pysample" 1.0.0, which needs both and
# the pip library "kyrsample-pad" 2.0. The wheels of that pip library (1.0 and
# 2.0) go to --wheels (default: <repo>/wheels); give them to the client's pip
# with PIP_NO_INDEX=1 PIP_FIND_LINKS=<that folder>.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
kyrpack=${KYRPACK:-$here/../../build/kyrpack}
key="" repo="" wheels=""
while (($#)); do
  case "$1" in
    --key) key=$2; shift 2 ;;
    --repo) repo=$2; shift 2 ;;
    --wheels) wheels=$2; shift 2 ;;
    --kyrpack) kyrpack=$2; shift 2 ;;
    --python) python=$2; shift 2 ;;
    *) echo "publish-sample.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ -n "$key" ] && [ -n "$repo" ] || { echo "usage: $0 --key <private.pem> --repo <folder> [--wheels W] [--kyrpack K] [--python P]" >&2; exit 2; }
wheels=${wheels:-$repo/wheels}

"$python" "$here/make_wheels.py" "$wheels" 1.0 2.0 >&2

version=$("$python" -c 'import sys; print("%d.%d.%d" % sys.version_info[:3])')
mkdir -p "$repo/runtimes/python/$version" "$repo/libraries/kyrxor/1.0.0" "$repo/decryptors/pysample/1.0.0"
"$here/make-python-runtime.sh" --python "$python" --kyrpack "$kyrpack" --key "$key" --version "$version" \
  --out "$repo/runtimes/python/$version/python.kpkg" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Only the sources: a __pycache__ left by a local run is no part of a package.
cp "$here/kyrxor/__init__.py" "$work/"
"$kyrpack" pack --key "$key" --folder "$work" --kind library --name kyrxor --version 1.0.0 \
  --runtime-type python --out "$repo/libraries/kyrxor/1.0.0/kyrxor.kpkg" >&2
rm -f "$work"/*
cp "$here/pysample/pysample.py" "$work/"
"$kyrpack" pack --key "$key" --folder "$work" --kind decryptor --name pysample --version 1.0.0 \
  --runtime-type python --runtime-version "$version" --module pysample.py --run run --help help \
  --dependency lib:kyrxor:1.0.0 --dependency pip:kyrsample-pad:2.0 \
  --out "$repo/decryptors/pysample/1.0.0/pysample.kpkg" >&2
echo "$version"
