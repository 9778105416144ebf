#pragma once

// Signatures with the test key, made by the publisher's signer on the platform's own
// crypto (OpenSSL on POSIX, CryptoAPI on Windows), so signed fixtures are made the same way on both.

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kyrpack/package_frame.h"
#include "kyrpack/signer.h"
#include "platform/signature_verifier.h"

namespace Kyrowan::Testing {

/// The signer holding the private half of the key the test binary embeds.
inline const Kyrpack::Signer& TestSigner() {
  static const std::unique_ptr<Kyrpack::Signer> signer = [] {
    std::string error;
    auto loaded = Kyrpack::Signer::Load(KYR_TEST_PRIVATE_KEY, error);
    if (!loaded) ADD_FAILURE() << error;
    return loaded;
  }();
  return *signer;
}

/// The stored form of the test key's signature over `bytes`: RSA PKCS#1 v1.5 over
/// SHA-1, least significant byte first. Empty when the key cannot sign.
inline std::vector<std::uint8_t> SignRawWithTestKey(const std::string& bytes) {
  std::vector<std::uint8_t> signature;
  if (!TestSigner().SignRaw(bytes.data(), bytes.size(), signature))
    ADD_FAILURE() << "cannot sign with the test key " << KYR_TEST_PRIVATE_KEY;
  return signature;
}
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
