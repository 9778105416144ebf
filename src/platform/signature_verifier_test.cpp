#include "platform/signature_verifier.h"

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "tests/test_signer.h"
#include "tests/zip_test_support.h"

namespace Kyrowan::Windows {
namespace {

using Testing::ReadBytes;
using Testing::ScratchFolder;
using Testing::Wide;
using Testing::WriteBytes;

const std::string kData = "the bytes a publisher signed";

std::vector<std::uint8_t> StoredSignature(const std::string& data) { return Testing::SignRawWithTestKey(data); }
std::string Base64Signature(const std::string& data) { return Testing::SignWithTestKey(data); }

bool VerifyRaw(const std::string& data, const std::vector<std::uint8_t>& signature) {
  SignatureVerifier* verifier = SignatureVerifier::Instance();
  return VerifyRsaSha1(data.data(), static_cast<std::uint32_t>(data.size()), verifier->keyBlob.data(),
                       verifier->keyBlobSize, signature.data(), static_cast<std::uint32_t>(signature.size()));
}

TEST(SignatureVerifierTest, InstanceIsCreatedOnceAcrossThreads) {
  SignatureVerifier* seen[2] = {};
  std::thread first([&] { seen[0] = SignatureVerifier::Instance(); });
  std::thread second([&] { seen[1] = SignatureVerifier::Instance(); });
  first.join();
  second.join();
  ASSERT_NE(seen[0], nullptr);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(seen[0], SignatureVerifier::Instance());
  EXPECT_EQ(seen[0]->keyBlobSize, seen[0]->keyBlob.size());
}

TEST(SignatureVerifierTest, StoredLeastSignificantByteFirst) {
  const std::vector<std::uint8_t> stored = StoredSignature(kData);
  ASSERT_EQ(stored.size(), 512u);  // a 4096-bit key
  EXPECT_TRUE(VerifyRaw(kData, stored));
  std::vector<std::uint8_t> bigEndian(stored.rbegin(), stored.rend());
  EXPECT_FALSE(VerifyRaw(kData, bigEndian));
}

TEST(SignatureVerifierTest, AnyChangeFails) {
  const std::vector<std::uint8_t> stored = StoredSignature(kData);
  std::string changed = kData;
  changed[5] ^= 1;
  EXPECT_FALSE(VerifyRaw(changed, stored));
  EXPECT_FALSE(VerifyRaw(kData + "x", stored));
  std::vector<std::uint8_t> damaged = stored;
  damaged[100] ^= 0x80;
  EXPECT_FALSE(VerifyRaw(kData, damaged));
  std::vector<std::uint8_t> shorter(stored.begin(), stored.end() - 1);
  EXPECT_FALSE(VerifyRaw(kData, shorter));
}

TEST(SignatureVerifierTest, MissingArgumentsFail) {
  SignatureVerifier* verifier = SignatureVerifier::Instance();
  const std::vector<std::uint8_t> stored = StoredSignature(kData);
  const auto* key = verifier->keyBlob.data();
  const std::uint32_t keySize = verifier->keyBlobSize;
  EXPECT_FALSE(VerifyRsaSha1(nullptr, 3, key, keySize, stored.data(), 512));
  EXPECT_FALSE(VerifyRsaSha1(kData.data(), 0, key, keySize, stored.data(), 512));
  EXPECT_FALSE(VerifyRsaSha1(kData.data(), 3, nullptr, keySize, stored.data(), 512));
  EXPECT_FALSE(VerifyRsaSha1(kData.data(), 3, key, 0, stored.data(), 512));
  EXPECT_FALSE(VerifyRsaSha1(kData.data(), 3, key, keySize, nullptr, 512));
  EXPECT_FALSE(VerifyRsaSha1(kData.data(), 3, key, keySize, stored.data(), 0));
}

TEST(SignatureVerifierTest, Base64SignatureOverBuffer) {
  SignatureVerifier* verifier = SignatureVerifier::Instance();
  const std::string signature = Base64Signature(kData);
  EXPECT_EQ(signature.size(), 684u);
  EXPECT_TRUE(verifier->VerifyBufferSignature(kData.data(), static_cast<std::uint32_t>(kData.size()), signature));
  EXPECT_FALSE(verifier->VerifyBufferSignature(kData.data(), static_cast<std::uint32_t>(kData.size()) - 1, signature));
  EXPECT_FALSE(verifier->VerifyBufferSignature(kData.data(), static_cast<std::uint32_t>(kData.size()), ""));
  // Decodes to nothing: rejected before any key is used.
  EXPECT_FALSE(verifier->VerifyBufferSignature(kData.data(), static_cast<std::uint32_t>(kData.size()), "\n"));
  EXPECT_FALSE(verifier->VerifyBufferSignature(kData.data(), static_cast<std::uint32_t>(kData.size()), "!!!!"));
}

TEST(SignatureVerifierTest, WholeFileSignature) {
  SignatureVerifier* verifier = SignatureVerifier::Instance();
  ScratchFolder folder;
  WriteBytes(folder / "signed.bin", kData);
  WriteBytes(folder / "empty.bin", "");
  const std::string signature = Base64Signature(kData);
  EXPECT_TRUE(verifier->VerifyFileSignature(Wide(folder / "signed.bin"), signature));
  EXPECT_FALSE(verifier->VerifyFileSignature(Wide(folder / "empty.bin"), Base64Signature("")));
  EXPECT_FALSE(verifier->VerifyFileSignature(Wide(folder / "missing.bin"), signature));
  EXPECT_FALSE(verifier->VerifyFileSignature(L"", signature));
  WriteBytes(folder / "signed.bin", kData + "\n");
  EXPECT_FALSE(verifier->VerifyFileSignature(Wide(folder / "signed.bin"), signature));
}

TEST(SignatureVerifierTest, Base64IsOneLineAndRoundTrips) {
  std::string text;
  EXPECT_TRUE(Base64Encode("foobar", 6, text));
  EXPECT_EQ(text, "Zm9vYmFy");
  std::string bytes(200, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  ASSERT_TRUE(Base64Encode(bytes.data(), static_cast<std::uint32_t>(bytes.size()), text));
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
  std::vector<std::uint8_t> decoded;
  ASSERT_TRUE(Base64Decode(text, decoded));
  EXPECT_EQ(std::string(decoded.begin(), decoded.end()), bytes);
  EXPECT_FALSE(Base64Encode(bytes.data(), 0, text));
  EXPECT_FALSE(Base64Encode(nullptr, 3, text));
}

TEST(SignatureVerifierTest, DecodesOnlyRsaPublicKeyPem) {
  const std::string pem = ReadBytes(KYR_TEST_PUBLIC_KEY);
  std::vector<std::uint8_t> blob;
  std::uint32_t size = 0;
  ASSERT_TRUE(DecodePemPublicKey(pem.data(), static_cast<std::uint32_t>(pem.size()), blob, size));
  EXPECT_EQ(blob, SignatureVerifier::Instance()->keyBlob);
  EXPECT_EQ(size, blob.size());
  std::string spki = pem;  // same body under the "PUBLIC KEY" marker
  for (std::size_t at; (at = spki.find("RSA PUBLIC KEY")) != std::string::npos;) spki.erase(at, 4);
  EXPECT_FALSE(DecodePemPublicKey(spki.data(), static_cast<std::uint32_t>(spki.size()), blob, size));
  EXPECT_EQ(size, 0u);
  const std::string garbage = "-----BEGIN RSA PUBLIC KEY-----\nAAAA\n-----END RSA PUBLIC KEY-----\n";
  EXPECT_FALSE(DecodePemPublicKey(garbage.data(), static_cast<std::uint32_t>(garbage.size()), blob, size));
  EXPECT_FALSE(DecodePemPublicKey(pem.data(), 0, blob, size));
}

TEST(SignatureVerifierTest, StateCacheStartsEmpty) {
  SignatureVerifier* verifier = SignatureVerifier::Instance();
  EXPECT_EQ(verifier->LookupState(L"decryptor|never-stored|1.0"), 0);
  verifier->StoreState(L"decryptor|cached|1.0", 1);
  EXPECT_EQ(verifier->LookupState(L"decryptor|cached|1.0"), 1);
  verifier->StoreState(L"decryptor|cached|1.0", 0);
  EXPECT_EQ(verifier->LookupState(L"decryptor|cached|1.0"), 0);
}

}  // namespace
}  // namespace Kyrowan::Windows
