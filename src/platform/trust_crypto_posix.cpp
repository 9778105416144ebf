// The metadata's cryptography on OpenSSL.
#include "platform/trust_crypto.h"

#include <climits>
#include <cstdint>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "platform/key_fingerprint.h"
#include "platform/openssl_owners.h"
#include "platform/signature_checks.h"

namespace Kyrowan::Windows {

namespace {

PkeyPtr KeyOf(const MetadataKey& key) {
  const unsigned char* cursor = key.info.data();
  PkeyPtr parsed(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(key.info.size())));
  if (!parsed || cursor != key.info.data() + key.info.size() || EVP_PKEY_base_id(parsed.get()) != EVP_PKEY_RSA)
    return nullptr;
  return parsed;
}

// The key's SubjectPublicKeyInfo and size.
bool InfoOf(EVP_PKEY* parsed, MetadataKey& key) {
  if (parsed == nullptr || EVP_PKEY_base_id(parsed) != EVP_PKEY_RSA) return false;
  unsigned char* der = nullptr;
  const int length = i2d_PUBKEY(parsed, &der);
  if (length <= 0) return false;
  std::unique_ptr<unsigned char, OpensslFree> owned(der);
  key.info.assign(der, der + length);
  key.bits = static_cast<unsigned>(EVP_PKEY_bits(parsed));
  return true;
}

}  // namespace

bool DecodeMetadataKey(std::string_view pem, MetadataKey& key) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  PkeyPtr parsed(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  return InfoOf(parsed.get(), key);
}

bool DecodeRsaPublicKey(std::string_view pem, MetadataKey& key) {
  std::vector<std::uint8_t> der;  // DecodePemPublicKey's blob is the PKCS#1 DER here
  std::uint32_t size = 0;
  if (pem.size() > UINT32_MAX || !DecodePemPublicKey(pem.data(), static_cast<std::uint32_t>(pem.size()), der, size))
    return false;
  const unsigned char* cursor = der.data();
  PkeyPtr parsed(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(size)));
  return InfoOf(parsed.get(), key);
}

bool VerifyRsaSha256(const MetadataKey& key, std::string_view data, const std::vector<std::uint8_t>& signature) {
  PkeyPtr parsed = KeyOf(key);
  DigestContextPtr context(EVP_MD_CTX_new());
  return parsed && context && !signature.empty() &&
         EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, parsed.get()) == 1 &&
         EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                          reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
}

bool PackageKeyBlob(const MetadataKey& key, std::vector<std::uint8_t>& blob) {
  PkeyPtr parsed = KeyOf(key);
  unsigned char* der = nullptr;
  const int length = parsed ? i2d_PublicKey(parsed.get(), &der) : 0;
  if (length <= 0) return false;
  std::unique_ptr<unsigned char, OpensslFree> owned(der);
  blob.assign(der, der + length);
  return true;
}

struct Sha256Stream::State {
  DigestContextPtr context{EVP_MD_CTX_new()};
  bool good = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
};

Sha256Stream::Sha256Stream() : state_(std::make_unique<State>()) {}

Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Update(const void* data, std::size_t length) {
  state_->good = state_->good && EVP_DigestUpdate(state_->context.get(), data, length) == 1;
}

std::string Sha256Stream::FinishHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!state_->good || EVP_DigestFinal_ex(state_->context.get(), digest, &length) != 1) return {};
  state_->good = false;
  return ToHex(digest, length);
}

}  // namespace Kyrowan::Windows
