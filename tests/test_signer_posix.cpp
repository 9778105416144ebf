#include "tests/test_signer.h"

#include <memory>

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace Kyrowan::Testing {

std::vector<std::uint8_t> SignRawWithTestKey(const std::string& bytes) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_file(KYR_TEST_PRIVATE_KEY, "r"), BIO_free);
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr, EVP_PKEY_free);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t length = 0;
  std::vector<std::uint8_t> signature;
  if (key && EVP_DigestSignInit(context.get(), nullptr, EVP_sha1(), nullptr, key.get()) == 1 &&
      EVP_DigestSign(context.get(), nullptr, &length, data, bytes.size()) == 1) {
    signature.resize(length);
    if (EVP_DigestSign(context.get(), signature.data(), &length, data, bytes.size()) != 1) length = 0;
    signature.resize(length);
  }
  if (signature.empty()) ADD_FAILURE() << "cannot sign with the test key " << KYR_TEST_PRIVATE_KEY;
  // OpenSSL writes the most significant byte first; stored signatures are reversed.
  return {signature.rbegin(), signature.rend()};
}

}  // namespace Kyrowan::Testing
