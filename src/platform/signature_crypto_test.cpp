// One signature made by OpenSSL at configure time, checked through this platform's
// cryptographic backend and the key embedded in the test binary.
#include "platform/signature_verifier.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/build_config.h"
#include "platform/build_identity.h"
#include "platform/key_fingerprint.h"

namespace Kyrowan::Windows {
namespace {

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

bool Verify(const std::string& data, const std::vector<std::uint8_t>& signature) {
  const SignatureVerifier* verifier = SignatureVerifier::Instance();
  return verifier != nullptr &&
         VerifyRsaSha1(data.data(), static_cast<std::uint32_t>(data.size()), verifier->keyBlob.data(),
                       verifier->keyBlobSize, signature.data(), static_cast<std::uint32_t>(signature.size()));
}

TEST(SignatureCryptoTest, StoredSignaturesAreLeastSignificantByteFirst) {
  ASSERT_NE(SignatureVerifier::Instance(), nullptr) << "the embedded test key did not load";
  const std::string text = KYR_TEST_SIGNED_TEXT;
  const std::vector<std::uint8_t> bigEndian = FromHex(KYR_TEST_SIGNATURE_HEX);
  ASSERT_EQ(bigEndian.size(), 512u);
  const std::vector<std::uint8_t> stored(bigEndian.rbegin(), bigEndian.rend());
  EXPECT_TRUE(Verify(text, stored));
  EXPECT_FALSE(Verify(text, bigEndian));
  EXPECT_FALSE(Verify(text + " ", stored));
  // The Base64 form manifests carry: one line, and it verifies as the raw bytes do.
  std::string base64;
  ASSERT_TRUE(Base64Encode(stored.data(), static_cast<std::uint32_t>(stored.size()), base64));
  EXPECT_EQ(base64.size(), 684u);
  EXPECT_EQ(base64.find_first_of("\r\n"), std::string::npos);
  EXPECT_TRUE(SignatureVerifier::Instance()->VerifyBufferSignature(text.data(),
                                                                   static_cast<std::uint32_t>(text.size()), base64));
}

TEST(SignatureCryptoTest, OnlyAnRsaPublicKeyPemDecodes) {
  std::string pem = BuildConfig::SigningKeyPem();
  std::vector<std::uint8_t> blob;
  std::uint32_t size = 0;
  ASSERT_TRUE(DecodePemPublicKey(pem.data(), static_cast<std::uint32_t>(pem.size()), blob, size));
  EXPECT_EQ(size, blob.size());
  const std::string rsaLabel = "RSA PUBLIC KEY";
  for (const char* label : {"PUBLIC KEY", "CERTIFICATE"}) {
    std::string other = pem;
    for (std::size_t at = other.find(rsaLabel); at != std::string::npos; at = other.find(rsaLabel))
      other.replace(at, rsaLabel.size(), label);
    EXPECT_FALSE(DecodePemPublicKey(other.data(), static_cast<std::uint32_t>(other.size()), blob, size)) << label;
  }
  std::vector<std::uint8_t> decoded;
  EXPECT_FALSE(Base64Decode("", decoded));
  ASSERT_TRUE(Base64Decode("Zm9v\nYmFy", decoded));
  EXPECT_EQ(std::string(decoded.begin(), decoded.end()), "foobar");
}

TEST(SignatureCryptoTest, DigestsAndKeyFingerprintsMatchOpenssl) {
  std::string hex;
  ASSERT_TRUE(Sha256Hex("abc", 3, hex));
  EXPECT_EQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  ASSERT_TRUE(Sha256Hex(nullptr, 0, hex));
  EXPECT_EQ(hex, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  ASSERT_TRUE(PublicKeyFingerprint(BuildConfig::SigningKeyPem(), hex));
  EXPECT_EQ(hex, KYR_TEST_KEY_FINGERPRINT);
  const std::string identity = BuildIdentityText("kyrtool");
  EXPECT_EQ(identity.substr(identity.find('\n')), "\nserver: 127.0.0.1:1\nsigning key SHA-256: " +
                                                      std::string(KYR_TEST_KEY_FINGERPRINT));
  EXPECT_EQ(identity.rfind("kyrtool ", 0), 0u);
  EXPECT_FALSE(PublicKeyFingerprint("-----BEGIN RSA PUBLIC KEY-----\nAAAA\n-----END RSA PUBLIC KEY-----\n", hex));
}

}  // namespace
}  // namespace Kyrowan::Windows
