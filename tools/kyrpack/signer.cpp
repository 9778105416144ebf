#include "kyrpack/signer.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/file_system.h"
#include "platform/key_fingerprint.h"
#include "platform/signature_checks.h"
#include "platform/text.h"
#include "platform/trust_crypto.h"

namespace Kyrowan::Kyrpack {

namespace {

constexpr std::size_t kPemLineLength = 64;

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

}  // namespace

std::string PemText(const std::string& label, const std::vector<std::uint8_t>& der) {
  std::string base64;
  if (der.empty() || !Windows::Base64Encode(der.data(), static_cast<std::uint32_t>(der.size()), base64)) return {};
  std::string text = "-----BEGIN " + label + "-----\n";
  for (std::size_t at = 0; at < base64.size(); at += kPemLineLength) text += base64.substr(at, kPemLineLength) + "\n";
  return text + "-----END " + label + "-----\n";
}

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
  Windows::MetadataKey key;
  if (!Windows::DecodeMetadataKey(publicPem, key) && !Windows::DecodeRsaPublicKey(publicPem, key)) return {};
  return PemText("PUBLIC KEY", key.info);
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
    if (Windows::PathExists(Windows::FromUtf8(path))) {
      error = "'" + path + "' already exists; keys are never overwritten";
      return false;
    }
  }
  const std::unique_ptr<Signer> key = Signer::Generate(bits);
  if (!key) {
    error = "could not generate an RSA key";
    return false;
  }
  const std::string privatePem = key->PrivatePem();
  const std::string publicPem = spki ? key->SpkiPem() : key->PublicPem();
  if (privatePem.empty() || publicPem.empty()) {
    error = "could not encode the new key";
    return false;
  }
  // The private key never exists on disk with wider access than its owner's.
  if (!Windows::CreateExclusiveFile(Windows::FromUtf8(privatePath), privatePem)) {
    error = "could not write the private key to '" + privatePath + "'";
    return false;
  }
  if (!WriteTextFile(publicPath, publicPem)) {
    error = "could not write the public key to '" + publicPath + "'";
    Windows::RemoveFile(Windows::FromUtf8(privatePath));
    return false;
  }
  return true;
}

std::unique_ptr<Signer> Signer::Load(const std::string& privateKeyPath, std::string& error) {
  std::string pem;
  if (!ReadWholeFile(privateKeyPath, pem) || pem.empty()) {
    error = "cannot read the private key '" + privateKeyPath + "'";
    return nullptr;
  }
  std::unique_ptr<Signer> signer = FromPem(pem);
  if (!signer) error = "'" + privateKeyPath + "' does not hold an RSA private key in PEM form";
  return signer;
}

bool Signer::SignRaw(const void* data, std::size_t length, std::vector<std::uint8_t>& signature) const {
  if (!Sign(Digest::kSha1, data, length, signature)) return false;
  // The client reads stored signatures least significant byte first.
  std::reverse(signature.begin(), signature.end());
  return true;
}

bool Signer::SignSha256(const void* data, std::size_t length, std::vector<std::uint8_t>& signature) const {
  return Sign(Digest::kSha256, data, length, signature);
}

std::size_t Signer::SignatureSize() const { return (static_cast<std::size_t>(Bits()) + 7) / 8; }

std::string Signer::PrivatePem() const { return PemText("PRIVATE KEY", PrivateKeyInfoDer()); }

std::string Signer::PublicPem() const { return PemText("RSA PUBLIC KEY", PublicKeyDer()); }

std::vector<std::uint8_t> Signer::SpkiDer() const {
  Windows::MetadataKey key;
  return Windows::DecodeRsaPublicKey(PublicPem(), key) ? key.info : std::vector<std::uint8_t>();
}

std::string Signer::SpkiPem() const { return PemText("PUBLIC KEY", SpkiDer()); }

std::string Signer::KeyId() const {
  const std::vector<std::uint8_t> der = SpkiDer();
  std::string hex;
  return !der.empty() && Windows::Sha256Hex(der.data(), der.size(), hex) ? hex : std::string();
}

bool Signer::SignBase64(const void* data, std::size_t length, std::string& signature) const {
  std::vector<std::uint8_t> raw;
  return SignRaw(data, length, raw) &&
         Windows::Base64Encode(raw.data(), static_cast<std::uint32_t>(raw.size()), signature);
}

}  // namespace Kyrowan::Kyrpack
