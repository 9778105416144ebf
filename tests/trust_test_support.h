#pragma once

// Helpers for tests that need signed data, zip archives and package files made
// with the test signing key.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kyrpack/packer.h"
#include "kyrpack/signer.h"
#include "tests/zip_test_support.h"

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

/// Text that does not compress, so archives holding it outgrow their 512-byte signature.
inline std::string NoiseText(std::size_t size, unsigned seed = 1) {
  std::mt19937 random(seed);
  std::string text(size, ' ');
  for (char& c : text) c = static_cast<char>('!' + random() % 90);
  return text;
}

/// A package file around `payload`, signed with the test key.
inline std::string MakePackage(const std::string& payload) {
  std::vector<std::uint8_t> signature;
  EXPECT_TRUE(TestSigner().SignRaw(payload.data(), payload.size(), signature));
  return Kyrpack::PackageFileBytes(payload, signature);
}

}  // namespace Kyrowan::Testing
