#!/usr/bin/env bash
# Packs the native sample and publishes it into a published tree (kyrpack publish):
#   library kyrsample_cipher <libver>   (runtime native)
#   decryptor kyrsample <ver>           (runtime native, needs lib:kyrsample_cipher:<libver>)
# and sets its identification hints (kyrpack hints).
# Usage: pack-samples.sh --build BUILD_DIR --key PRIVATE_PEM --repo REPO_DIR
#                        [--kyrpack KYRPACK] [--version V] [--library-version V] [--windows]
# BUILD_DIR is a build of this tree with the publisher tools (targets kyrpack,
# kyrsample_decryptor); V defaults to 1.0.0. With --windows, BUILD_DIR is the Windows
# build and the packages hold its DLLs (give --kyrpack: that build has none). Prints
# the files of the tree it wrote.
set -euo pipefail

build="" key="" repo="" kyrpack="" version="1.0.0" library_version="1.0.0" suffix=so
while (($#)); do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --key) key=$2; shift 2 ;;
    --repo) repo=$2; shift 2 ;;
    --kyrpack) kyrpack=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --library-version) library_version=$2; shift 2 ;;
    --windows) suffix=dll; shift ;;
    *) echo "pack-samples.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
if [[ -z $build || -z $key || -z $repo ]]; then
  echo "usage: pack-samples.sh --build BUILD_DIR --key PRIVATE_PEM --repo REPO_DIR [--kyrpack KYRPACK] [--version V] [--library-version V] [--windows]" >&2
  exit 2
fi
kyrpack=${kyrpack:-$build/kyrpack}
library_file=$build/samples/native/library/libkyrsample_cipher.$suffix
decryptor_file=$build/samples/native/decryptor/libkyrsample_decryptor.$suffix
for needed in "$kyrpack" "$library_file" "$decryptor_file"; do
  [[ -f $needed ]] || { echo "pack-samples.sh: $needed is missing; build kyrpack and kyrsample_decryptor first" >&2; exit 1; }
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/library" "$stage/decryptor"
cp "$library_file" "$stage/library/"
cp "$decryptor_file" "$stage/decryptor/"

library_out=$stage/kyrsample_cipher.kpkg
decryptor_out=$stage/kyrsample.kpkg

"$kyrpack" pack --key "$key" --folder "$stage/library" --kind library \
  --name kyrsample_cipher --version "$library_version" --runtime-type native --out "$library_out" >/dev/null
"$kyrpack" pack --key "$key" --folder "$stage/decryptor" --kind decryptor \
  --name kyrsample --version "$version" --runtime-type native --runtime-version 1.0.0 \
  --module "$(basename "$decryptor_file")" --run run --help help \
  --dependency "lib:kyrsample_cipher:$library_version" --out "$decryptor_out" >/dev/null
# publish verifies against the public half of the key the packages were signed with.
openssl rsa -in "$key" -RSAPublicKey_out -out "$stage/public.pem" 2>/dev/null
"$kyrpack" publish --public "$stage/public.pem" --repo "$repo" "$library_out" "$decryptor_out"
# How a victim recognises what kyrsample-encrypt did: the suffix and the "KYRS" header.
"$kyrpack" hints --key "$key" --repo "$repo" --decryptor kyrsample --family "KyrSample (native demo)" \
  --extension .kyrlocked --marker 0:4b595253
