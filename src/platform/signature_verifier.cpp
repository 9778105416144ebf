#include "platform/signature_verifier.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/build_config.h"
#include "platform/repository_trust.h"
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

std::vector<std::vector<std::uint8_t>> SignatureVerifier::PackageKeys() const {
  std::vector<std::vector<std::uint8_t>> keys = TrustedPackageKeys();
  if (keys.empty()) keys.emplace_back(keyBlob.begin(), keyBlob.begin() + keyBlobSize);
  return keys;
}

bool SignatureVerifier::VerifyBufferSignature(const void* data, std::uint32_t length,
                                              const std::string& base64Signature) const {
  for (const std::vector<std::uint8_t>& key : PackageKeys())
    if (VerifyBase64Signature(data, length, key.data(), static_cast<std::uint32_t>(key.size()), base64Signature))
      return true;
  return false;
}

bool SignatureVerifier::VerifyFileSignature(const std::wstring& path, const std::string& base64Signature,
                                            ProgressLine* progress) const {
  for (const std::vector<std::uint8_t>& key : PackageKeys())
    if (VerifyFileSignatureWithKey(path, key.data(), static_cast<std::uint32_t>(key.size()), base64Signature,
                                   progress))
      return true;
  return false;
}

bool SignatureVerifier::VerifyFileRegion(const MappedFile& file, std::int64_t offset, std::int64_t length,
                                         const std::uint8_t* signature, std::uint32_t signatureLength) const {
  for (const std::vector<std::uint8_t>& key : PackageKeys())
    if (VerifyRsaSha1FileRegion(file, offset, length, key.data(), static_cast<std::uint32_t>(key.size()), signature,
                                signatureLength))
      return true;
  return false;
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

}  // namespace Kyrowan::Windows
