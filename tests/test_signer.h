#pragma once

// Signatures with the test key on the platform's own crypto (OpenSSL on POSIX,
// CryptoAPI on Windows), so signed fixtures are made the same way on both.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "kyrpack/package_frame.h"
#include "platform/signature_verifier.h"

namespace Kyrowan::Testing {

/// The stored form of the test key's signature over `bytes`: RSA PKCS#1 v1.5 over
/// SHA-1, least significant byte first. Empty when the key cannot sign.
std::vector<std::uint8_t> SignRawWithTestKey(const std::string& bytes);
/// Its Base64 text, as manifests hold signatures.
inline std::string SignWithTestKey(const std::string& bytes) {
  const std::vector<std::uint8_t> signature = SignRawWithTestKey(bytes);
  std::string text;
  Windows::Base64Encode(signature.data(), static_cast<std::uint32_t>(signature.size()), text);
  return text;
}

/// Text that does not compress, so archives holding it outgrow their 512-byte signature.
inline std::string NoiseText(std::size_t size, unsigned seed = 1) {
  std::mt19937 random(seed);
  std::string text(size, ' ');
  for (char& c : text) c = static_cast<char>('!' + random() % 90);
  return text;
}

/// A package file around `payload`, signed with the test key.
inline std::string MakePackage(const std::string& payload) {
  return Kyrpack::PackageFileBytes(payload, SignRawWithTestKey(payload));
}

}  // namespace Kyrowan::Testing
