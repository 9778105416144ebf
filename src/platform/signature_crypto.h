#pragma once

// The per-OS cryptography under the verifier: one RSA-SHA1 check fed in pieces.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Kyrowan::Windows {

/// An RSA PKCS#1 v1.5 SHA-1 check whose digest runs over each piece as it comes,
/// so a large file is checked without being held or mapped whole.
class RsaSha1Check {
 public:
  RsaSha1Check();
  ~RsaSha1Check();
  RsaSha1Check(const RsaSha1Check&) = delete;
  RsaSha1Check& operator=(const RsaSha1Check&) = delete;

  /// Takes a key blob as DecodePemPublicKey made it; false when it holds no key.
  bool Begin(const std::uint8_t* keyBlob, std::uint32_t keyBlobSize);
  bool Update(const void* data, std::size_t length);
  /// The signature is stored least significant byte first.
  bool Finish(const std::uint8_t* signature, std::uint32_t signatureLength);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace Kyrowan::Windows
