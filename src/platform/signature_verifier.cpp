#include "platform/signature_verifier.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/build_config.h"
#include "platform/mapped_file.h"
#include "platform/progress_line.h"
#include "platform/signature_crypto.h"

namespace Kyrowan::Windows {

namespace {

std::mutex creationMutex;
std::atomic<SignatureVerifier*> instancePointer{nullptr};

}  // namespace

SignatureVerifier::SignatureVerifier() { LoadEmbeddedKey(); }

SignatureVerifier* SignatureVerifier::Instance() {
  if (SignatureVerifier* existing = instancePointer.load(std::memory_order_acquire)) return existing;
  std::lock_guard<std::mutex> lock(creationMutex);
  if (SignatureVerifier* existing = instancePointer.load(std::memory_order_acquire)) return existing;
  std::unique_ptr<SignatureVerifier> created(new SignatureVerifier());
  // The second load is the acceptance test: it only succeeds when the first one kept a key.
  if (!created->LoadEmbeddedKey()) return nullptr;
  instancePointer.store(created.get(), std::memory_order_release);
  return created.release();  // lives until the process ends
}

bool SignatureVerifier::LoadEmbeddedKey() {
  if (!keyBlob.empty() && keyBlobSize != 0) return true;
  const char* pem = BuildConfig::SigningKeyPem();
  if (pem == nullptr) return false;
  const std::size_t length = std::strlen(pem);
  if (length == 0 || length > UINT32_MAX) return false;
  if (!DecodePemPublicKey(pem, static_cast<std::uint32_t>(length), keyBlob, keyBlobSize)) return false;
  return keyBlobSize != 0 && !keyBlob.empty();
}

bool SignatureVerifier::VerifyBufferSignature(const void* data, std::uint32_t length,
                                              const std::string& base64Signature) const {
  return VerifyBase64Signature(data, length, keyBlob.data(), keyBlobSize, base64Signature);
}

bool SignatureVerifier::VerifyFileSignature(const std::wstring& path, const std::string& base64Signature,
                                            ProgressLine* progress) const {
  return VerifyFileSignatureWithKey(path, keyBlob.data(), keyBlobSize, base64Signature, progress);
}

int SignatureVerifier::LookupState(const std::wstring& key) {
  std::lock_guard<std::mutex> lock(stateLock);
  const auto found = stateCache.find(key);
  return found == stateCache.end() ? 0 : found->second;
}

void SignatureVerifier::StoreState(const std::wstring& key, int state) {
  std::lock_guard<std::mutex> lock(stateLock);
  stateCache[key] = state;
}

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
