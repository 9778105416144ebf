#pragma once
// The cryptography of the signed repository metadata: RSA keys as DER SubjectPublicKeyInfo,
// RSA PKCS#1 v1.5 signatures with SHA-256 (big-endian, as everyone else stores them), and
// SHA-256 over data that arrives in pieces.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Kyrowan::Windows {

/// An RSA public key of the metadata.
struct MetadataKey {
  std::vector<std::uint8_t> info;  ///< the DER SubjectPublicKeyInfo
  unsigned bits = 0;
};

/// Decodes PEM "PUBLIC KEY" text holding an RSA key; false for anything else.
bool DecodeMetadataKey(std::string_view pem, MetadataKey& key);
/// Decodes PEM "RSA PUBLIC KEY" text (PKCS#1) into the same form; false for anything else.
bool DecodeRsaPublicKey(std::string_view pem, MetadataKey& key);

/// Whether `signature` (big-endian) is an RSA PKCS#1 v1.5 SHA-256 signature of `data` by `key`.
bool VerifyRsaSha256(const MetadataKey& key, std::string_view data, const std::vector<std::uint8_t>& signature);

/// The key in the blob form the package checks take (DecodePemPublicKey's), so a key the
/// metadata names can stand in for the built-in package key.
bool PackageKeyBlob(const MetadataKey& key, std::vector<std::uint8_t>& blob);

/// SHA-256 of bytes handed over in pieces.
class Sha256Stream {
 public:
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;

  void Update(const void* data, std::size_t length);
  /// The digest as 64 lower-case hex digits; empty when hashing failed.
  std::string FinishHex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace Kyrowan::Windows
