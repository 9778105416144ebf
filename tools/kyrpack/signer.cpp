#include "kyrpack/signer.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "platform/key_fingerprint.h"
#include "platform/openssl_owners.h"
#include "platform/signature_checks.h"

namespace Kyrowan::Kyrpack {

namespace {

using Windows::BioPtr;
using Windows::DigestContextPtr;
using Windows::PkeyPtr;

std::string MemoryText(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

bool FileExists(const std::string& path) {
  std::ifstream probe(path);
  return probe.good();
}

// The private key never exists on disk with wider access than its owner's.
bool WritePrivateFile(const std::string& path, const std::string& text) {
#ifndef _WIN32
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const char* cursor = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, cursor, left);
    if (written <= 0) {
      ::close(fd);
      return false;
    }
    cursor += written;
    left -= static_cast<std::size_t>(written);
  }
  return ::close(fd) == 0;
#else
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out.flush());
#endif
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

std::string PublicKeyPem(EVP_PKEY* key) {
  unsigned char* der = nullptr;
  const int derLength = i2d_PublicKey(key, &der);  // PKCS#1 RSAPublicKey for an RSA key
  if (derLength <= 0) return {};
  BioPtr bio(BIO_new(BIO_s_mem()));
  const bool written = bio && PEM_write_bio(bio.get(), "RSA PUBLIC KEY", "", der, derLength) > 0;
  OPENSSL_free(der);
  return written ? MemoryText(bio.get()) : std::string();
}

std::string SpkiText(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PUBKEY(bio.get(), key) != 1) return {};
  return MemoryText(bio.get());
}

std::string PrivateKeyPem(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) return {};
  return MemoryText(bio.get());
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return false;
  bytes = content.str();
  return true;
}

bool ReadPublicKeyBlob(const std::string& path, std::vector<std::uint8_t>& blob, std::string& error) {
  std::string pem;
  std::uint32_t size = 0;
  if (!ReadWholeFile(path, pem) ||
      !Windows::DecodePemPublicKey(pem.data(), static_cast<std::uint32_t>(pem.size()), blob, size)) {
    error = "'" + path + "' is not a PEM \"RSA PUBLIC KEY\"";
    return false;
  }
  return true;
}

std::string SpkiPemOf(const std::string& publicPem) {
  BioPtr bio(BIO_new_mem_buf(publicPem.data(), static_cast<int>(publicPem.size())));
  char* name = nullptr;
  char* header = nullptr;
  unsigned char* der = nullptr;
  long length = 0;
  if (!bio || PEM_read_bio(bio.get(), &name, &header, &der, &length) != 1) return {};
  const std::string label = name;
  const unsigned char* cursor = der;
  PkeyPtr key(label == "PUBLIC KEY"       ? d2i_PUBKEY(nullptr, &cursor, length)
              : label == "RSA PUBLIC KEY" ? d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, length)
                                          : nullptr);
  OPENSSL_free(name);
  OPENSSL_free(header);
  OPENSSL_free(der);
  if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) return {};
  return SpkiText(key.get());
}

bool GenerateKeyPair(const std::string& privatePath, const std::string& publicPath, std::string& error, int bits,
                     bool spki) {
  if (bits < kMinimumTrustKeyBits || bits > 16384) {
    error = "--bits must be between 2048 and 16384";
    return false;
  }
  if (privatePath.empty() || publicPath.empty() || privatePath == publicPath) {
    error = "the private and the public key need two different file names";
    return false;
  }
  for (const std::string& path : {privatePath, publicPath}) {
    if (FileExists(path)) {
      error = "'" + path + "' already exists; keys are never overwritten";
      return false;
    }
  }
  PkeyPtr key(EVP_RSA_gen(static_cast<unsigned>(bits)));
  if (!key) {
    error = "could not generate an RSA key";
    return false;
  }
  const std::string privatePem = PrivateKeyPem(key.get());
  const std::string publicPem = spki ? SpkiText(key.get()) : PublicKeyPem(key.get());
  if (privatePem.empty() || publicPem.empty()) {
    error = "could not encode the new key";
    return false;
  }
  if (!WritePrivateFile(privatePath, privatePem)) {
    error = "could not write the private key to '" + privatePath + "'";
    return false;
  }
  if (!WriteTextFile(publicPath, publicPem)) {
    error = "could not write the public key to '" + publicPath + "'";
    std::remove(privatePath.c_str());
    return false;
  }
  return true;
}

Signer::~Signer() { EVP_PKEY_free(static_cast<EVP_PKEY*>(key_)); }

std::unique_ptr<Signer> Signer::Load(const std::string& privateKeyPath, std::string& error) {
  std::string pem;
  if (!ReadWholeFile(privateKeyPath, pem) || pem.empty()) {
    error = "cannot read the private key '" + privateKeyPath + "'";
    return nullptr;
  }
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  PkeyPtr key(
      bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) {
    error = "'" + privateKeyPath + "' does not hold an RSA private key in PEM form";
    return nullptr;
  }
  return std::unique_ptr<Signer>(new Signer(key.release()));
}

namespace {

bool SignWith(EVP_PKEY* key, const EVP_MD* digest, const void* data, std::size_t length,
              std::vector<std::uint8_t>& signature) {
  DigestContextPtr context(EVP_MD_CTX_new());
  if (!context || EVP_DigestSignInit(context.get(), nullptr, digest, nullptr, key) != 1) return false;
  std::size_t size = 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (EVP_DigestSign(context.get(), nullptr, &size, bytes, length) != 1) return false;
  signature.assign(size, 0);
  if (EVP_DigestSign(context.get(), signature.data(), &size, bytes, length) != 1) return false;
  signature.resize(size);
  return true;
}

}  // namespace

bool Signer::SignRaw(const void* data, std::size_t length, std::vector<std::uint8_t>& signature) const {
  if (!SignWith(static_cast<EVP_PKEY*>(key_), EVP_sha1(), data, length, signature)) return false;
  // The client reads stored signatures least significant byte first.
  std::reverse(signature.begin(), signature.end());
  return true;
}

bool Signer::SignSha256(const void* data, std::size_t length, std::vector<std::uint8_t>& signature) const {
  return SignWith(static_cast<EVP_PKEY*>(key_), EVP_sha256(), data, length, signature);
}

std::size_t Signer::SignatureSize() const {
  const int size = EVP_PKEY_get_size(static_cast<EVP_PKEY*>(key_));
  return size > 0 ? static_cast<std::size_t>(size) : 0;
}

int Signer::Bits() const { return EVP_PKEY_get_bits(static_cast<EVP_PKEY*>(key_)); }

std::string Signer::SpkiPem() const { return SpkiText(static_cast<EVP_PKEY*>(key_)); }

std::string Signer::KeyId() const {
  unsigned char* der = nullptr;
  const int length = i2d_PUBKEY(static_cast<EVP_PKEY*>(key_), &der);
  if (length <= 0) return {};
  std::string hex;
  const bool done = Windows::Sha256Hex(der, static_cast<std::size_t>(length), hex);
  OPENSSL_free(der);
  return done ? hex : std::string();
}

bool Signer::SignBase64(const void* data, std::size_t length, std::string& signature) const {
  std::vector<std::uint8_t> raw;
  return SignRaw(data, length, raw) &&
         Windows::Base64Encode(raw.data(), static_cast<std::uint32_t>(raw.size()), signature);
}

}  // namespace Kyrowan::Kyrpack
