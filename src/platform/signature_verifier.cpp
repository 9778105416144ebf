#include "platform/signature_verifier.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <memory>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "platform/build_config.h"
#include "platform/mapped_file.h"
#include "platform/openssl_owners.h"
#include "platform/progress_line.h"

namespace Kyrowan::Windows {

namespace {

constexpr char kPemKeyName[] = "RSA PUBLIC KEY";

// The blob is the DER of a PKCS#1 RSAPublicKey; anything else is not a key.
PkeyPtr KeyFromBlob(const std::uint8_t* blob, std::uint32_t size) {
  const unsigned char* cursor = blob;
  PkeyPtr key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(size)));
  if (key && cursor != blob + size) key.reset();  // trailing bytes
  return key;
}

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

bool DecodePemPublicKey(const char* pem, std::uint32_t pemLength, std::vector<std::uint8_t>& keyBlob,
                        std::uint32_t& keyBlobSize) {
  if (pem == nullptr || pemLength == 0) return false;
  keyBlob.clear();
  keyBlobSize = 0;
  BioPtr bio(BIO_new_mem_buf(pem, static_cast<int>(pemLength)));
  if (!bio) return false;
  char* rawName = nullptr;
  char* rawHeader = nullptr;
  unsigned char* rawDer = nullptr;
  long derLength = 0;
  if (PEM_read_bio(bio.get(), &rawName, &rawHeader, &rawDer, &derLength) != 1) return false;
  std::unique_ptr<char, OpensslFree> name(rawName);
  std::unique_ptr<char, OpensslFree> header(rawHeader);
  std::unique_ptr<unsigned char, OpensslFree> der(rawDer);
  if (std::strcmp(name.get(), kPemKeyName) != 0 || derLength <= 0) return false;
  // Only a blob that really holds an RSA key is handed out.
  if (!KeyFromBlob(der.get(), static_cast<std::uint32_t>(derLength))) return false;
  keyBlob.assign(der.get(), der.get() + derLength);
  keyBlobSize = static_cast<std::uint32_t>(derLength);
  return true;
}

namespace {

// An RSA-SHA1 check fed in pieces: the digest runs over each piece as it comes,
// so a large file is checked without being held or mapped whole.
class IncrementalCheck {
 public:
  bool Begin(const std::uint8_t* keyBlob, std::uint32_t keyBlobSize) {
    if (keyBlob == nullptr || keyBlobSize == 0) return false;
    key_ = KeyFromBlob(keyBlob, keyBlobSize);
    context_.reset(EVP_MD_CTX_new());
    return key_ && context_ && EVP_DigestVerifyInit(context_.get(), nullptr, EVP_sha1(), nullptr, key_.get()) == 1;
  }
  bool Update(const void* data, std::size_t length) {
    return EVP_DigestVerifyUpdate(context_.get(), data, length) == 1;
  }
  bool Finish(const std::uint8_t* signature, std::uint32_t signatureLength) {
    if (signature == nullptr || signatureLength == 0) return false;
    // Stored least significant byte first; PKCS#1 wants the big-endian octet string.
    std::vector<unsigned char> bigEndian(signature, signature + signatureLength);
    std::reverse(bigEndian.begin(), bigEndian.end());
    return EVP_DigestVerifyFinal(context_.get(), bigEndian.data(), bigEndian.size()) == 1;
  }

 private:
  PkeyPtr key_;
  DigestContextPtr context_;
};

}  // namespace

bool VerifyRsaSha1(const void* data, std::uint32_t dataLength, const std::uint8_t* keyBlob, std::uint32_t keyBlobSize,
                   const std::uint8_t* signature, std::uint32_t signatureLength) {
  if (data == nullptr || dataLength == 0 || signature == nullptr || signatureLength == 0) return false;
  IncrementalCheck check;
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
  IncrementalCheck check;
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

bool Base64Encode(const void* data, std::uint32_t length, std::string& out) {
  if (data == nullptr || length == 0) return false;
  // EVP_EncodeBlock writes 4 characters per 3 bytes and a NUL, without line breaks.
  const std::size_t encodedLength = 4 * ((static_cast<std::size_t>(length) + 2) / 3);
  std::string text(encodedLength + 1, '\0');
  const int written =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), static_cast<const unsigned char*>(data),
                      static_cast<int>(length));
  if (written < 0) return false;
  text.resize(static_cast<std::size_t>(written));
  out = std::move(text);
  return true;
}

bool Base64Decode(const std::string& text, std::vector<std::uint8_t>& out) {
  out.clear();
  if (text.empty() || text.size() > INT32_MAX / 2) return false;
  std::unique_ptr<EVP_ENCODE_CTX, EncodeContextFree> context(EVP_ENCODE_CTX_new());
  if (!context) return false;
  std::vector<std::uint8_t> bytes(text.size() / 4 * 3 + 3 + 80);
  int produced = 0;
  int tail = 0;
  EVP_DecodeInit(context.get());
  if (EVP_DecodeUpdate(context.get(), bytes.data(), &produced, reinterpret_cast<const unsigned char*>(text.data()),
                       static_cast<int>(text.size())) < 0)
    return false;
  if (EVP_DecodeFinal(context.get(), bytes.data() + produced, &tail) != 1) return false;
  bytes.resize(static_cast<std::size_t>(produced + tail));
  out = std::move(bytes);
  return true;
}

}  // namespace Kyrowan::Windows
