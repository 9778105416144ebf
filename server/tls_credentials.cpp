#include "tls_credentials.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace KyrServer {

namespace {

// The file's bytes, or why they cannot be had.
bool ReadWhole(const std::string& file, std::string& text, std::string& problem) {
  const std::unique_ptr<std::FILE, decltype(&std::fclose)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
  text.clear();
  char buffer[4096];
  std::size_t count = 0;
  while (in && (count = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) text.append(buffer, count);
  if (in && !std::ferror(in.get())) return true;
  problem = ": " + std::string(std::strerror(errno));
  return false;
}

std::unique_ptr<BIO, decltype(&BIO_free)> Memory(const std::string& text) {
  return {BIO_new_mem_buf(text.data(), static_cast<int>(text.size())), &BIO_free};
}

// An encrypted key is not asked a password for: the server starts unattended.
int NoPassword(char*, int, int, void*) { return 0; }

using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;
using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

}  // namespace

bool LoadTlsCredentials(const std::string& certificateFile, const std::string& keyFile, TlsCredentials& credentials,
                        std::string& problem) {
  const std::string certificateName = "certificate '" + certificateFile + "'";
  const std::string keyName = "key '" + keyFile + "'";
  if (!ReadWhole(certificateFile, credentials.certificateChain, problem)) {
    problem = "cannot read " + certificateName + problem;
    return false;
  }
  if (!ReadWhole(keyFile, credentials.privateKey, problem)) {
    problem = "cannot read " + keyName + problem;
    return false;
  }
  // The first certificate of the chain is the server's; its key must be the one given.
  const Certificate certificate(
      PEM_read_bio_X509(Memory(credentials.certificateChain).get(), nullptr, NoPassword, nullptr), &X509_free);
  const Key key(PEM_read_bio_PrivateKey(Memory(credentials.privateKey).get(), nullptr, NoPassword, nullptr),
                &EVP_PKEY_free);
  ERR_clear_error();
  if (!certificate)
    problem = certificateName + " holds no PEM certificate";
  else if (!key)
    problem = keyName + " holds no PEM private key without a password";
  else if (X509_check_private_key(certificate.get(), key.get()) != 1)
    problem = keyName + " does not match " + certificateName;
  else
    return true;
  ERR_clear_error();
  return false;
}

}  // namespace KyrServer
