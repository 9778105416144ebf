#include "tls_credentials.h"

#include <fstream>
#include <iterator>
#include <memory>

#include <openssl/pem.h>
#include <openssl/x509.h>

namespace KyrServer {

namespace {

bool ReadWhole(const std::string& file, std::string& text) {
  std::ifstream in(file, std::ios::binary);
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.good() || in.eof();
}

std::unique_ptr<BIO, decltype(&BIO_free)> Memory(const std::string& text) {
  return {BIO_new_mem_buf(text.data(), static_cast<int>(text.size())), &BIO_free};
}

// An encrypted key is not asked a password for: the server starts unattended.
int NoPassword(char*, int, int, void*) { return 0; }

// The first certificate of the chain is the server's; its key must be the one given.
bool Matching(const TlsCredentials& credentials) {
  const auto certificateText = Memory(credentials.certificateChain);
  const auto keyText = Memory(credentials.privateKey);
  const std::unique_ptr<X509, decltype(&X509_free)> certificate(
      PEM_read_bio_X509(certificateText.get(), nullptr, NoPassword, nullptr), &X509_free);
  const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      PEM_read_bio_PrivateKey(keyText.get(), nullptr, NoPassword, nullptr), &EVP_PKEY_free);
  return certificate && key && X509_check_private_key(certificate.get(), key.get()) == 1;
}

}  // namespace

bool LoadTlsCredentials(const std::string& certificateFile, const std::string& keyFile, TlsCredentials& credentials) {
  return ReadWhole(certificateFile, credentials.certificateChain) && ReadWhole(keyFile, credentials.privateKey) &&
         Matching(credentials);
}

}  // namespace KyrServer
