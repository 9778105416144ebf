#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Kyrowan::Kyrpack {

/// Makes an RSA key pair (4096 bits unless told): the private key as PKCS#8 PEM readable by
/// its owner only, the public key as PEM "RSA PUBLIC KEY", or as SPKI "PUBLIC KEY" with `spki`.
/// Refuses to overwrite either file and keys shorter than 2048 bits.
bool GenerateKeyPair(const std::string& privatePath, const std::string& publicPath, std::string& error,
                     int bits = 4096, bool spki = false);

/// The smallest RSA key the signed repository metadata accepts.
inline constexpr int kMinimumTrustKeyBits = 2048;

/// A PEM "RSA PUBLIC KEY" or "PUBLIC KEY" rewritten as SPKI "PUBLIC KEY" PEM; empty if it is neither.
std::string SpkiPemOf(const std::string& publicPem);

/// Signs with a publisher's private key the way the client checks: RSA PKCS#1 v1.5
/// over SHA-1, the signature stored least significant byte first.
class Signer {
 public:
  ~Signer();
  Signer(const Signer&) = delete;
  Signer& operator=(const Signer&) = delete;

  /// Loads a PEM RSA private key; null with `error` set when it cannot.
  static std::unique_ptr<Signer> Load(const std::string& privateKeyPath, std::string& error);

  /// The raw stored form of a signature over `length` bytes.
  bool SignRaw(const void* data, std::size_t length, std::vector<std::uint8_t>& signature) const;
  /// RSA PKCS#1 v1.5 over SHA-256, big-endian: what "openssl dgst -sha256 -sign" writes.
  bool SignSha256(const void* data, std::size_t length, std::vector<std::uint8_t>& signature) const;
  /// The length of every signature this key makes.
  std::size_t SignatureSize() const;
  /// The key's size in bits.
  int Bits() const;
  /// The public half as SPKI PEM "PUBLIC KEY".
  std::string SpkiPem() const;
  /// Lower-case hex SHA-256 of the public half's DER SubjectPublicKeyInfo.
  std::string KeyId() const;
  /// The Base64 text of the stored form.
  bool SignBase64(const void* data, std::size_t length, std::string& signature) const;

 private:
  explicit Signer(void* key) : key_(key) {}
  void* key_;  ///< EVP_PKEY
};

/// Reads a whole file; false if it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

/// Reads a PEM "RSA PUBLIC KEY" file into the key blob the verifier takes; false with `error` set.
bool ReadPublicKeyBlob(const std::string& path, std::vector<std::uint8_t>& blob, std::string& error);

}  // namespace Kyrowan::Kyrpack
