#!/usr/bin/env bash
# Packs the Python sample and publishes it into a published tree (kyrpack publish):
#   runtime python <pyver>      (the interpreter, its library and pip)
#   library kyrxor 1.0.0        (runtime python)
#   decryptor pysample 1.0.0    (runtime python <pyver>, needs lib:kyrxor:1.0.0 and pip:kyrsample-pad:2.0,
#                                pinned to the SHA-256 of the 2.0 wheel written here)
# with the decryptor's identification hints (kyrpack hints), and the wheels of the pip
# library kyrsample-pad (1.0 and 2.0) into WHEELS (default <repo>/wheels). No package index is needed: give the client's pip
# that folder with PIP_NO_INDEX=1 PIP_FIND_LINKS=WHEELS.
# Usage: pack-python-samples.sh --build BUILD_DIR --key PRIVATE_PEM --repo REPO_DIR
#                               [--kyrpack KYRPACK] [--python PYTHON] [--wheels WHEELS]
# BUILD_DIR is a build of this tree with the publisher tools (target kyrpack);
# PYTHON (default /usr/bin/python3) is the CPython the runtime is copied from,
# and <pyver> its version. Prints the files of the tree it wrote, one per line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
build="" key="" repo="" kyrpack="" wheels=""
while (($#)); do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --key) key=$2; shift 2 ;;
    --repo) repo=$2; shift 2 ;;
    --kyrpack) kyrpack=$2; shift 2 ;;
    --python) python=$2; shift 2 ;;
    --wheels) wheels=$2; shift 2 ;;
    *) echo "pack-python-samples.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
if [[ -z $key || -z $repo || ( -z $build && -z $kyrpack ) ]]; then
  echo "usage: pack-python-samples.sh --build BUILD_DIR --key PRIVATE_PEM --repo REPO_DIR [--kyrpack KYRPACK] [--python PYTHON] [--wheels WHEELS]" >&2
  exit 2
fi
kyrpack=${kyrpack:-$build/kyrpack}
wheels=${wheels:-$repo/wheels}
[[ -f $kyrpack ]] || { echo "pack-python-samples.sh: $kyrpack is missing; build kyrpack first" >&2; exit 1; }
samples=$here/python

version=$("$python" -c 'import sys; print("%d.%d.%d" % sys.version_info[:3])')
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
runtime_out=$stage/python.kpkg
library_out=$stage/kyrxor.kpkg
decryptor_out=$stage/pysample.kpkg

"$python" "$samples/make_wheels.py" "$wheels" 1.0 2.0
if ! "$samples/make-python-runtime.sh" --python "$python" --kyrpack "$kyrpack" --key "$key" --version "$version" \
    --out "$runtime_out" >"$stage/runtime.log" 2>&1; then
  cat "$stage/runtime.log" >&2
  echo "pack-python-samples.sh: building the Python runtime package failed" >&2
  exit 1
fi
# Only the sources: a __pycache__ left by a local run is no part of a package.
mkdir -p "$stage/library" "$stage/decryptor"
cp "$samples/kyrxor/__init__.py" "$stage/library/"
cp "$samples/pysample/pysample.py" "$stage/decryptor/"
"$kyrpack" pack --key "$key" --folder "$stage/library" --kind library --name kyrxor --version 1.0.0 \
  --runtime-type python --out "$library_out" >/dev/null
"$kyrpack" pack --key "$key" --folder "$stage/decryptor" --kind decryptor --name pysample --version 1.0.0 \
  --runtime-type python --runtime-version "$version" --module pysample.py --run run --help help \
  --dependency lib:kyrxor:1.0.0 --dependency pip:kyrsample-pad:2.0 \
  --pip-file "kyrsample-pad=$wheels/kyrsample_pad-2.0-py3-none-any.whl" --out "$decryptor_out" >/dev/null
# publish verifies against the public half of the key the packages were signed with.
openssl rsa -in "$key" -RSAPublicKey_out -out "$stage/public.pem" 2>/dev/null
"$kyrpack" publish --public "$stage/public.pem" --repo "$repo" "$runtime_out" "$library_out" "$decryptor_out"
# How a victim recognises what encrypt_demo_files.py did: the suffix and the note it leaves.
"$kyrpack" hints --key "$key" --repo "$repo" --decryptor pysample --family "KyrSample (Python demo)" \
  --extension .kyr --note KYR_README.txt
