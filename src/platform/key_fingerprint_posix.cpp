// Digests and fingerprints on OpenSSL.
#include "platform/key_fingerprint.h"

#include <climits>
#include <cstdint>
#include <vector>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "platform/openssl_owners.h"
#include "platform/signature_verifier.h"

namespace Kyrowan::Windows {

bool Sha256Hex(const void* data, std::size_t length, std::string& hex) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  if (data == nullptr && length != 0) return false;
  if (EVP_Digest(data, length, digest, &digestLength, EVP_sha256(), nullptr) != 1) return false;
  hex = ToHex(digest, digestLength);
  return true;
}

bool PublicKeyFingerprint(const std::string& pem, std::string& hex) {
  std::vector<std::uint8_t> blob;
  std::uint32_t blobSize = 0;
  if (pem.size() > UINT32_MAX ||
      !DecodePemPublicKey(pem.data(), static_cast<std::uint32_t>(pem.size()), blob, blobSize))
    return false;
  const unsigned char* cursor = blob.data();
  PkeyPtr key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(blobSize)));
  if (!key) return false;
  unsigned char* rawInfo = nullptr;
  const int infoLength = i2d_PUBKEY(key.get(), &rawInfo);
  if (infoLength <= 0) return false;
  std::unique_ptr<unsigned char, OpensslFree> info(rawInfo);
  return Sha256Hex(info.get(), static_cast<std::size_t>(infoLength), hex);
}

}  // namespace Kyrowan::Windows
