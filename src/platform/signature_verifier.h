#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/signature_checks.h"

namespace Kyrowan::Windows {

class MappedFile;
class ProgressLine;

/// The process-wide holder of the package-signing keys (the embedded one, or those the
/// signed repository metadata names in its place) and of the
/// package elements' verification-state cache.
class SignatureVerifier {
 public:
  /// The verifier, or null when the embedded key cannot be loaded (tried again next call).
  static SignatureVerifier* Instance();

  /// Checks a Base64 signature over `length` bytes of `data`.
  bool VerifyBufferSignature(const void* data, std::uint32_t length, const std::string& base64Signature) const;
  /// Checks a Base64 signature over the whole content of a file (an empty file fails);
  /// `progress`, when given, hears of every byte checked.
  bool VerifyFileSignature(const std::wstring& path, const std::string& base64Signature,
                           ProgressLine* progress = nullptr) const;

  /// Checks a raw signature (least significant byte first) over `length` bytes of a file
  /// opened with OpenUnmapped, from `offset`.
  bool VerifyFileRegion(const MappedFile& file, std::int64_t offset, std::int64_t length,
                        const std::uint8_t* signature, std::uint32_t signatureLength) const;

  /// The verification-state cache: 0 when `key` is absent.
  int LookupState(const std::wstring& key);
  void StoreState(const std::wstring& key, int state);

  std::uint32_t keyBlobSize = 0;
  std::vector<std::uint8_t> keyBlob;  ///< the key as DecodePemPublicKey produced it

 private:
  SignatureVerifier();
  bool LoadEmbeddedKey();
  /// The keys a package signature may be made with.
  std::vector<std::vector<std::uint8_t>> PackageKeys() const;

  std::mutex stateLock;
  std::map<std::wstring, int> stateCache;
};

}  // namespace Kyrowan::Windows
