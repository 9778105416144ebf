// Digests and fingerprints on CryptoAPI.
#include "platform/key_fingerprint.h"

#include <optional>
#include <vector>

#include <windows.h>
#include <wincrypt.h>

#include "platform/handles_win32.h"
#include "platform/scoped_handle.h"
#include "platform/signature_verifier.h"

namespace Kyrowan::Windows {

namespace {

// The DER inside a PEM that DecodePemPublicKey accepted: a PKCS#1 RSAPublicKey.
bool PemBody(const std::string& pem, std::vector<BYTE>& der) {
  DWORD size = 0;
  const DWORD length = static_cast<DWORD>(pem.size());
  if (!::CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr) ||
      size == 0)
    return false;
  der.assign(size, 0);
  if (!::CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
    return false;
  der.resize(size);
  return size != 0;
}

}  // namespace

bool Sha256Hex(const void* data, std::size_t length, std::string& hex) {
  if ((data == nullptr && length != 0) || length > MAXDWORD) return false;
  HCRYPTPROV rawProvider = 0;
  if (!::CryptAcquireContextW(&rawProvider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
  ScopedHandle<HCRYPTPROV> provider(rawProvider, CryptHandleValidator(), CryptProvContextCloser());
  HCRYPTHASH rawHash = 0;
  if (!::CryptCreateHash(rawProvider, CALG_SHA_256, 0, 0, &rawHash)) return false;
  std::optional<ScopedHandle<HCRYPTHASH>> hash;
  hash.emplace(rawHash, CryptHandleValidator(), CryptHashCloser());
  BYTE digest[32];
  DWORD digestLength = sizeof digest;
  if (!::CryptHashData(rawHash, static_cast<const BYTE*>(data), static_cast<DWORD>(length), 0) ||
      !::CryptGetHashParam(rawHash, HP_HASHVAL, digest, &digestLength, 0))
    return false;
  hash.reset();  // before its provider
  hex = ToHex(digest, digestLength);
  return true;
}

bool PublicKeyFingerprint(const std::string& pem, std::string& hex) {
  std::vector<std::uint8_t> blob;
  std::uint32_t blobSize = 0;
  std::vector<BYTE> pkcs1;
  if (pem.size() > MAXDWORD ||
      !DecodePemPublicKey(pem.data(), static_cast<std::uint32_t>(pem.size()), blob, blobSize) ||
      !PemBody(pem, pkcs1))
    return false;
  // A SubjectPublicKeyInfo: the rsaEncryption algorithm with NULL parameters, and the key.
  static const BYTE kNullParameters[] = {0x05, 0x00};
  CERT_PUBLIC_KEY_INFO info{};
  info.Algorithm.pszObjId = const_cast<LPSTR>(szOID_RSA_RSA);
  info.Algorithm.Parameters.cbData = sizeof kNullParameters;
  info.Algorithm.Parameters.pbData = const_cast<BYTE*>(kNullParameters);
  info.PublicKey.cbData = static_cast<DWORD>(pkcs1.size());
  info.PublicKey.pbData = pkcs1.data();
  info.PublicKey.cUnusedBits = 0;
  DWORD size = 0;
  if (!::CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &info, 0, nullptr, nullptr, &size) || size == 0)
    return false;
  std::vector<BYTE> der(size);
  if (!::CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &info, 0, nullptr, der.data(), &size))
    return false;
  return Sha256Hex(der.data(), size, hex);
}

}  // namespace Kyrowan::Windows
