#pragma once

// The publisher's RSA keys and signatures. The key files are the standard PEM forms, so a
// key written on one platform is read on the other and by openssl; the cryptography under
// them is the platform's own (signer_posix.cpp, signer_win32.cpp).

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

/// DER as PEM text under `label`, 64 characters a line, as openssl writes it; empty for no DER.
std::string PemText(const std::string& label, const std::vector<std::uint8_t>& der);

/// Signs with a publisher's private key the way the client checks: RSA PKCS#1 v1.5
/// over SHA-1, the signature stored least significant byte first.
class Signer {
 public:
  ~Signer();
  Signer(const Signer&) = delete;
  Signer& operator=(const Signer&) = delete;

  /// Loads a PEM RSA private key (PKCS#8 or PKCS#1); null with `error` set when it cannot.
  static std::unique_ptr<Signer> Load(const std::string& privateKeyPath, std::string& error);
  /// A new key of `bits` bits; null when none could be made.
  static std::unique_ptr<Signer> Generate(int bits);

  /// The raw stored form of a signature over `length` bytes.
  bool SignRaw(const void* data, std::size_t length, std::vector<std::uint8_t>& signature) const;
  /// RSA PKCS#1 v1.5 over SHA-256, big-endian: what "openssl dgst -sha256 -sign" writes.
  bool SignSha256(const void* data, std::size_t length, std::vector<std::uint8_t>& signature) const;
  /// The length of every signature this key makes.
  std::size_t SignatureSize() const;
  /// The key's size in bits.
  int Bits() const;
  /// The private key as PKCS#8 PEM "PRIVATE KEY".
  std::string PrivatePem() const;
  /// The public half as PEM "RSA PUBLIC KEY" (PKCS#1).
  std::string PublicPem() const;
  /// The public half as SPKI PEM "PUBLIC KEY".
  std::string SpkiPem() const;
  /// Lower-case hex SHA-256 of the public half's DER SubjectPublicKeyInfo.
  std::string KeyId() const;
  /// The Base64 text of the stored form.
  bool SignBase64(const void* data, std::size_t length, std::string& signature) const;

 private:
  struct Key;  ///< the platform's key
  enum class Digest { kSha1, kSha256 };

  explicit Signer(std::unique_ptr<Key> key);
  /// The signer of PEM private key text; null when it holds no RSA private key.
  static std::unique_ptr<Signer> FromPem(const std::string& pem);
  /// RSA PKCS#1 v1.5 over `digest`, most significant byte first.
  bool Sign(Digest digest, const void* data, std::size_t length, std::vector<std::uint8_t>& signature) const;
  /// The public half as DER PKCS#1 RSAPublicKey; empty when it cannot be encoded.
  std::vector<std::uint8_t> PublicKeyDer() const;
  /// The public half as DER SubjectPublicKeyInfo; empty when it cannot be encoded.
  std::vector<std::uint8_t> SpkiDer() const;
  /// The private key as DER PKCS#8 PrivateKeyInfo; empty when it cannot be encoded.
  std::vector<std::uint8_t> PrivateKeyInfoDer() const;

  std::unique_ptr<Key> key_;
};

/// Reads a whole file; false if it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

/// Reads a PEM "RSA PUBLIC KEY" file into the key blob the verifier takes; false with `error` set.
bool ReadPublicKeyBlob(const std::string& path, std::vector<std::uint8_t>& blob, std::string& error);

}  // namespace Kyrowan::Kyrpack
