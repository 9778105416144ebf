#!/usr/bin/env bash
# Authenticode-signs Windows files in place (SHA-256, osslsigncode). The publisher's
# code-signing certificate comes from the environment, never from the repository:
#   KYRDECRYPT_CODESIGN_PKCS12 (a .p12/.pfx; KYRDECRYPT_CODESIGN_PASSWORD_FILE holds its password), or
#   KYRDECRYPT_CODESIGN_CERT and KYRDECRYPT_CODESIGN_KEY (a PEM pair);
#   KYRDECRYPT_CODESIGN_TIMESTAMP_URL, optional: an RFC 3161 timestamp server.
# Usage: codesign.sh FILE...
set -euo pipefail
args=(sign -h sha256 -n KyrDecrypt)
if [ -n "${KYRDECRYPT_CODESIGN_PKCS12:-}" ]; then
  args+=(-pkcs12 "$KYRDECRYPT_CODESIGN_PKCS12")
  [ -z "${KYRDECRYPT_CODESIGN_PASSWORD_FILE:-}" ] || args+=(-readpass "$KYRDECRYPT_CODESIGN_PASSWORD_FILE")
elif [ -n "${KYRDECRYPT_CODESIGN_CERT:-}" ] && [ -n "${KYRDECRYPT_CODESIGN_KEY:-}" ]; then
  args+=(-certs "$KYRDECRYPT_CODESIGN_CERT" -key "$KYRDECRYPT_CODESIGN_KEY")
else
  echo "codesign.sh: no code-signing certificate given (KYRDECRYPT_CODESIGN_PKCS12 or _CERT and _KEY)" >&2
  exit 2
fi
[ -z "${KYRDECRYPT_CODESIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$KYRDECRYPT_CODESIGN_TIMESTAMP_URL")
for file in "$@"; do
  # Signed beside the file and moved over it: a failed signing leaves the file as it was.
  rm -f "$file.signing"
  osslsigncode "${args[@]}" -in "$file" -out "$file.signing" >/dev/null
  mv -f "$file.signing" "$file"
done
