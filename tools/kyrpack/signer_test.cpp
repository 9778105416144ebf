#include "kyrpack/signer.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "platform/key_fingerprint.h"
#include "platform/trust_crypto.h"
#include "tests/trust_test_support.h"

namespace Kyrowan::Kyrpack {
namespace {

// The test key files were written by openssl: each platform's signer must read
// both private forms and write every form byte for byte as openssl did.
TEST(SignerTest, KeyFilesAreTheStandardOnesOnEveryPlatform) {
  for (const char* path : {KYR_TEST_PRIVATE_KEY, KYR_TEST_PRIVATE_KEY_PKCS1}) {
    SCOPED_TRACE(path);
    std::string error;
    const std::unique_ptr<Signer> signer = Signer::Load(path, error);
    ASSERT_TRUE(signer) << error;
    EXPECT_EQ(signer->PrivatePem(), Testing::ReadBytes(KYR_TEST_PRIVATE_KEY));
    EXPECT_EQ(signer->PublicPem(), Testing::ReadBytes(KYR_TEST_PUBLIC_KEY));
    EXPECT_EQ(signer->KeyId(), KYR_TEST_KEY_FINGERPRINT);
    EXPECT_EQ(SpkiPemOf(signer->PublicPem()), signer->SpkiPem());
    EXPECT_EQ(signer->Bits(), 4096);
    EXPECT_EQ(signer->SignatureSize(), 512u);
    // RSA PKCS#1 v1.5 is deterministic: the signature openssl made at configure time.
    const std::string text = KYR_TEST_SIGNED_TEXT;
    std::vector<std::uint8_t> signature;
    ASSERT_TRUE(signer->SignRaw(text.data(), text.size(), signature));
    std::reverse(signature.begin(), signature.end());
    EXPECT_EQ(Windows::ToHex(signature.data(), signature.size()), KYR_TEST_SIGNATURE_HEX);
  }
}

TEST(SignerTest, GeneratedKeysReloadAndSignWhatTheVerifiersAccept) {
  const std::unique_ptr<Signer> made = Signer::Generate(2048);
  ASSERT_TRUE(made);
  Testing::ScratchFolder scratch;
  Testing::WriteBytes(scratch / "private.pem", made->PrivatePem());
  std::string error;
  const std::unique_ptr<Signer> loaded = Signer::Load((scratch / "private.pem").string(), error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(loaded->PublicPem(), made->PublicPem());
  EXPECT_EQ(loaded->Bits(), 2048);
  const std::string text = "signed by a new key";
  std::vector<std::uint8_t> sha256;
  ASSERT_TRUE(loaded->SignSha256(text.data(), text.size(), sha256));
  Windows::MetadataKey key;
  ASSERT_TRUE(Windows::DecodeMetadataKey(made->SpkiPem(), key));
  EXPECT_TRUE(Windows::VerifyRsaSha256(key, text, sha256));
  EXPECT_FALSE(Windows::VerifyRsaSha256(key, text + ".", sha256));
  std::string base64;
  ASSERT_TRUE(loaded->SignBase64(text.data(), text.size(), base64));
  std::vector<std::uint8_t> blob;
  std::uint32_t blobSize = 0;
  const std::string publicPem = made->PublicPem();
  ASSERT_TRUE(
      Windows::DecodePemPublicKey(publicPem.data(), static_cast<std::uint32_t>(publicPem.size()), blob, blobSize));
  EXPECT_TRUE(Windows::VerifyBase64Signature(text.data(), static_cast<std::uint32_t>(text.size()), blob.data(),
                                             blobSize, base64));
}

}  // namespace
}  // namespace Kyrowan::Kyrpack
