// Digests and fingerprints on OpenSSL.
#include "platform/key_fingerprint.h"

#include <openssl/evp.h>

namespace Kyrowan::Windows {

bool Sha256Hex(const void* data, std::size_t length, std::string& hex) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  if (data == nullptr && length != 0) return false;
  if (EVP_Digest(data, length, digest, &digestLength, EVP_sha256(), nullptr) != 1) return false;
  hex = ToHex(digest, digestLength);
  return true;
}

}  // namespace Kyrowan::Windows
