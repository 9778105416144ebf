#include "kyrpack/file_signature.h"

#include <fstream>
#include <vector>

#include "kyrpack/signer.h"
#include "platform/trust_crypto.h"

namespace Kyrowan::Kyrpack {

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
  std::string pem, content, signature;
  Windows::MetadataKey key;
  if (!ReadWholeFile(publicKeyPath, pem) || !Windows::DecodeRsaPublicKey(pem, key)) {
    error = "'" + publicKeyPath + "' is not a PEM \"RSA PUBLIC KEY\"";
    return false;
  }
  if (!ReadWholeFile(path, content) || !ReadWholeFile(signaturePath, signature)) {
    error = "cannot read '" + path + "' and its signature '" + signaturePath + "'";
    return false;
  }
  const bool good = Windows::VerifyRsaSha256(key, content, {signature.begin(), signature.end()});
  if (!good) error = "'" + path + "' does not match its signature '" + signaturePath + "'";
  return good;
}

}  // namespace Kyrowan::Kyrpack
