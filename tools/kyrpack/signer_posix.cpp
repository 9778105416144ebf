// The publisher's keys and signatures on OpenSSL.
#include "kyrpack/signer.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "platform/openssl_owners.h"

namespace Kyrowan::Kyrpack {

namespace {

using Windows::BioPtr;
using Windows::DigestContextPtr;
using Windows::PkeyPtr;

// The bytes an i2d_ function wrote, owned; empty when it wrote none.
std::vector<std::uint8_t> Owned(unsigned char* der, int length) {
  std::unique_ptr<unsigned char, Windows::OpensslFree> owner(der);
  return length > 0 ? std::vector<std::uint8_t>(der, der + length) : std::vector<std::uint8_t>();
}

}  // namespace

struct Signer::Key {
  PkeyPtr key;
};

Signer::Signer(std::unique_ptr<Key> key) : key_(std::move(key)) {}

Signer::~Signer() = default;

std::unique_ptr<Signer> Signer::FromPem(const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  PkeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) return nullptr;
  return std::unique_ptr<Signer>(new Signer(std::unique_ptr<Key>(new Key{std::move(key)})));
}

std::unique_ptr<Signer> Signer::Generate(int bits) {
  PkeyPtr key(EVP_RSA_gen(static_cast<unsigned>(bits)));
  if (!key) return nullptr;
  return std::unique_ptr<Signer>(new Signer(std::unique_ptr<Key>(new Key{std::move(key)})));
}

bool Signer::Sign(Digest digest, const void* data, std::size_t length, std::vector<std::uint8_t>& signature) const {
  DigestContextPtr context(EVP_MD_CTX_new());
  const EVP_MD* md = digest == Digest::kSha1 ? EVP_sha1() : EVP_sha256();
  if (!context || EVP_DigestSignInit(context.get(), nullptr, md, nullptr, key_->key.get()) != 1) return false;
  std::size_t size = 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (EVP_DigestSign(context.get(), nullptr, &size, bytes, length) != 1) return false;
  signature.assign(size, 0);
  if (EVP_DigestSign(context.get(), signature.data(), &size, bytes, length) != 1) return false;
  signature.resize(size);
  return true;
}

int Signer::Bits() const { return EVP_PKEY_get_bits(key_->key.get()); }

std::vector<std::uint8_t> Signer::PublicKeyDer() const {
  unsigned char* der = nullptr;
  const int length = i2d_PublicKey(key_->key.get(),
                                   &der);  // PKCS#1 RSAPublicKey for an RSA key
  return Owned(der, length);
}

std::vector<std::uint8_t> Signer::PrivateKeyInfoDer() const {
  std::unique_ptr<PKCS8_PRIV_KEY_INFO, decltype(&PKCS8_PRIV_KEY_INFO_free)> info(EVP_PKEY2PKCS8(key_->key.get()),
                                                                                 PKCS8_PRIV_KEY_INFO_free);
  unsigned char* der = nullptr;
  const int length = info ? i2d_PKCS8_PRIV_KEY_INFO(info.get(), &der) : 0;
  return Owned(der, length);
}

}  // namespace Kyrowan::Kyrpack
