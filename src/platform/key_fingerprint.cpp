#include "platform/key_fingerprint.h"

#include "platform/trust_crypto.h"

namespace Kyrowan::Windows {

std::string ToHex(const unsigned char* bytes, std::size_t length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (std::size_t i = 0; i < length; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0xF];
  }
  return hex;
}

bool PublicKeyFingerprint(const std::string& pem, std::string& hex) {
  MetadataKey key;
  return DecodeRsaPublicKey(pem, key) && Sha256Hex(key.info.data(), key.info.size(), hex);
}

}  // namespace Kyrowan::Windows
