#include "platform/signature_checks.h"

#include <climits>

#include "platform/mapped_file.h"
#include "platform/progress_line.h"
#include "platform/signature_crypto.h"

namespace Kyrowan::Windows {

bool VerifyRsaSha1(const void* data, std::uint32_t dataLength, const std::uint8_t* keyBlob, std::uint32_t keyBlobSize,
                   const std::uint8_t* signature, std::uint32_t signatureLength) {
  if (data == nullptr || dataLength == 0 || signature == nullptr || signatureLength == 0) return false;
  RsaSha1Check check;
  return check.Begin(keyBlob, keyBlobSize) && check.Update(data, dataLength) &&
         check.Finish(signature, signatureLength);
}

bool VerifyRsaSha1FileRegion(const MappedFile& file, std::int64_t offset, std::int64_t length,
                             const std::uint8_t* keyBlob, std::uint32_t keyBlobSize, const std::uint8_t* signature,
                             std::uint32_t signatureLength, ProgressLine* progress) {
  // The checks count in 32 bits: a region they cannot count is never "verified" by a prefix.
  if (length <= 0 || length > static_cast<std::int64_t>(UINT32_MAX) || signature == nullptr ||
      signatureLength == 0)
    return false;
  RsaSha1Check check;
  if (!check.Begin(keyBlob, keyBlobSize)) return false;
  const bool read = file.ReadWindows(offset, length, [&](const char* data, std::size_t size) {
    if (progress) progress->Advance(size);
    return check.Update(data, size);
  });
  return read && check.Finish(signature, signatureLength);
}

bool VerifyBase64Signature(const void* data, std::uint32_t length, const std::uint8_t* keyBlob,
                           std::uint32_t keyBlobSize, const std::string& base64Signature) {
  if (data == nullptr || length == 0 || base64Signature.empty()) return false;
  std::vector<std::uint8_t> signature;
  if (!Base64Decode(base64Signature, signature) || signature.empty()) return false;
  return VerifyRsaSha1(data, length, keyBlob, keyBlobSize, signature.data(),
                       static_cast<std::uint32_t>(signature.size()));
}

bool VerifyFileSignatureWithKey(const std::wstring& path, const std::uint8_t* keyBlob, std::uint32_t keyBlobSize,
                                const std::string& base64Signature, ProgressLine* progress) {
  if (path.empty() || base64Signature.empty()) return false;
  std::vector<std::uint8_t> signature;
  if (!Base64Decode(base64Signature, signature) || signature.empty()) return false;
  MappedFile file(path);
  return file.OpenUnmapped() &&
         VerifyRsaSha1FileRegion(file, 0, file.fileSize, keyBlob, keyBlobSize, signature.data(),
                                 static_cast<std::uint32_t>(signature.size()), progress);
}

}  // namespace Kyrowan::Windows
