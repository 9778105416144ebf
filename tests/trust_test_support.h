#pragma once

// The publisher's signer over the test key, for tests of the publisher tools,
// with the helpers for signed data and zip archives.

#include <memory>

#include <gtest/gtest.h>

#include "kyrpack/signer.h"
#include "tests/test_signer.h"
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

}  // namespace Kyrowan::Testing
