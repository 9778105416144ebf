#!/usr/bin/env bash
# Builds the "python" runtime package from an installed CPython, in one command:
#
#   samples/python/make-python-runtime.sh --key <private.pem> --out <python.kpkg>
#       [--python /usr/bin/python3] [--version X.Y.Z] [--kyrpack build/kyrpack]
#
# The package carries a copy of the interpreter, its standard library and pip,
# isolated from the machine's own Python; its version defaults to the
# interpreter's (e.g. 3.11.2). Decryptors name that version with
# `kyrpack pack --runtime-type python --runtime-version <version>`.
# The interpreter must not load a shared libpython (Debian's python3 does not).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
kyrpack=${KYRPACK:-$here/../../build/kyrpack}
key="" out="" version=""
while (($#)); do
  case "$1" in
    --python) python=$2; shift 2 ;;
    --kyrpack) kyrpack=$2; shift 2 ;;
    --key) key=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    *) echo "make-python-runtime.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ -n "$key" ] && [ -n "$out" ] || { echo "usage: $0 --key <private.pem> --out <file.kpkg> [--python P] [--version V] [--kyrpack K]" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
built=$("$python" "$here/make_python_runtime.py" "$work/python" | tail -n 1)
version=${version:-$built}
"$kyrpack" pack --key "$key" --folder "$work/python" --kind runtime --name python --version "$version" --out "$out" >&2
echo "$version"
