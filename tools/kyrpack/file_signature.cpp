#include "kyrpack/file_signature.h"

#include <fstream>
#include <vector>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "kyrpack/signer.h"
#include "platform/openssl_owners.h"

namespace Kyrowan::Kyrpack {

namespace {

using Windows::DigestContextPtr;
using Windows::PkeyPtr;

PkeyPtr LoadPublicKey(const std::string& path, std::string& error) {
  std::vector<std::uint8_t> blob;
  if (!ReadPublicKeyBlob(path, blob, error)) return nullptr;
  const unsigned char* cursor = blob.data();
  return PkeyPtr(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(blob.size())));
}

}  // namespace

bool SignFile(const std::string& path, const std::string& privateKeyPath, const std::string& signaturePath,
              std::string& error) {
  const std::unique_ptr<Signer> signer = Signer::Load(privateKeyPath, error);
  if (!signer) return false;
  std::string content;
  if (!ReadWholeFile(path, content)) {
    error = "cannot read '" + path + "'";
    return false;
  }
  std::vector<std::uint8_t> signature;
  if (!signer->SignSha256(content.data(), content.size(), signature)) {
    error = "could not sign '" + path + "'";
    return false;
  }
  std::ofstream out(signaturePath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(signature.data()), static_cast<std::streamsize>(signature.size()));
  if (!out.flush()) {
    error = "could not write the signature to '" + signaturePath + "'";
    return false;
  }
  return true;
}

bool VerifyFile(const std::string& path, const std::string& publicKeyPath, const std::string& signaturePath,
                std::string& error) {
  const PkeyPtr key = LoadPublicKey(publicKeyPath, error);
  if (!key) return false;
  std::string content, signature;
  if (!ReadWholeFile(path, content) || !ReadWholeFile(signaturePath, signature)) {
    error = "cannot read '" + path + "' and its signature '" + signaturePath + "'";
    return false;
  }
  DigestContextPtr context(EVP_MD_CTX_new());
  const bool good =
      context && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
      EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                       reinterpret_cast<const unsigned char*>(content.data()), content.size()) == 1;
  if (!good) error = "'" + path + "' does not match its signature '" + signaturePath + "'";
  return good;
}

}  // namespace Kyrowan::Kyrpack
