// The cryptographic primitives of the verifier on OpenSSL.
#include "platform/signature_verifier.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "platform/openssl_owners.h"
#include "platform/signature_crypto.h"

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

}  // namespace

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

struct RsaSha1Check::State {
  PkeyPtr key;
  DigestContextPtr context;
};

RsaSha1Check::RsaSha1Check() : state_(std::make_unique<State>()) {}

RsaSha1Check::~RsaSha1Check() = default;

bool RsaSha1Check::Begin(const std::uint8_t* keyBlob, std::uint32_t keyBlobSize) {
  if (keyBlob == nullptr || keyBlobSize == 0) return false;
  state_->key = KeyFromBlob(keyBlob, keyBlobSize);
  state_->context.reset(EVP_MD_CTX_new());
  return state_->key && state_->context &&
         EVP_DigestVerifyInit(state_->context.get(), nullptr, EVP_sha1(), nullptr, state_->key.get()) == 1;
}

bool RsaSha1Check::Update(const void* data, std::size_t length) {
  return state_->context && EVP_DigestVerifyUpdate(state_->context.get(), data, length) == 1;
}

bool RsaSha1Check::Finish(const std::uint8_t* signature, std::uint32_t signatureLength) {
  if (!state_->context || signature == nullptr || signatureLength == 0) return false;
  // PKCS#1 wants the big-endian octet string.
  std::vector<unsigned char> bigEndian(signature, signature + signatureLength);
  std::reverse(bigEndian.begin(), bigEndian.end());
  return EVP_DigestVerifyFinal(state_->context.get(), bigEndian.data(), bigEndian.size()) == 1;
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
