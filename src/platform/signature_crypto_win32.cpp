// The cryptographic primitives of the verifier on CryptoAPI.
#include "platform/signature_verifier.h"

#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include <windows.h>
#include <wincrypt.h>

#include "platform/handles_win32.h"
#include "platform/scoped_handle.h"
#include "platform/signature_crypto.h"

namespace Kyrowan::Windows {

namespace {

constexpr std::string_view kPemKeyHeader = "-----BEGIN RSA PUBLIC KEY-----";

// CRYPT_STRING_BASE64HEADER takes any PEM label; only a PKCS#1 public key is one here.
bool HasKeyHeader(const char* pem, std::uint32_t length) {
  const std::string_view text(pem, length);
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  return start != std::string_view::npos && text.substr(start, kPemKeyHeader.size()) == kPemKeyHeader;
}

bool DecodeBase64(const char* text, DWORD length, DWORD flags, std::vector<std::uint8_t>& out) {
  DWORD size = 0;
  if (!::CryptStringToBinaryA(text, length, flags, nullptr, &size, nullptr, nullptr)) return false;
  // An empty input is "decoded" to nothing with success: that is no signature and no key.
  if (size == 0) return false;
  out.assign(size + 1, 0);
  if (!::CryptStringToBinaryA(text, length, flags, out.data(), &size, nullptr, nullptr) || size == 0) {
    out.clear();
    return false;
  }
  out.resize(size);
  return true;
}

}  // namespace

bool DecodePemPublicKey(const char* pem, std::uint32_t pemLength, std::vector<std::uint8_t>& keyBlob,
                        std::uint32_t& keyBlobSize) {
  if (pem == nullptr || pemLength == 0) return false;
  keyBlob.clear();
  keyBlobSize = 0;
  if (!HasKeyHeader(pem, pemLength)) return false;
  std::vector<std::uint8_t> der;
  if (!DecodeBase64(pem, pemLength, CRYPT_STRING_BASE64HEADER, der)) return false;
  const DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  DWORD size = 0;
  if (!::CryptDecodeObjectEx(encoding, RSA_CSP_PUBLICKEYBLOB, der.data(), static_cast<DWORD>(der.size()), 0, nullptr,
                             nullptr, &size) ||
      size == 0)
    return false;
  keyBlob.resize(size);
  if (!::CryptDecodeObjectEx(encoding, RSA_CSP_PUBLICKEYBLOB, der.data(), static_cast<DWORD>(der.size()), 0, nullptr,
                             keyBlob.data(), &size)) {
    keyBlob.clear();
    return false;
  }
  keyBlob.resize(size);
  keyBlobSize = size;
  return true;
}

struct RsaSha1Check::State {
  std::optional<ScopedHandle<HCRYPTPROV>> provider;
  std::optional<ScopedHandle<HCRYPTKEY>> key;
  std::optional<ScopedHandle<HCRYPTHASH>> hash;
};

RsaSha1Check::RsaSha1Check() : state_(std::make_unique<State>()) {}

// The hash and key go before the provider they came from.
RsaSha1Check::~RsaSha1Check() {
  state_->hash.reset();
  state_->key.reset();
}

bool RsaSha1Check::Begin(const std::uint8_t* keyBlob, std::uint32_t keyBlobSize) {
  if (keyBlob == nullptr || keyBlobSize == 0) return false;
  HCRYPTPROV rawProvider = 0;
  if (!::CryptAcquireContextW(&rawProvider, nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
    return false;
  state_->provider.emplace(rawProvider, CryptHandleValidator(), CryptProvContextCloser());
  HCRYPTKEY rawKey = 0;
  if (!::CryptImportKey(rawProvider, keyBlob, keyBlobSize, 0, 0, &rawKey)) return false;
  state_->key.emplace(rawKey, CryptHandleValidator(), CryptKeyCloser());
  HCRYPTHASH rawHash = 0;
  if (!::CryptCreateHash(rawProvider, CALG_SHA1, 0, 0, &rawHash)) return false;
  state_->hash.emplace(rawHash, CryptHandleValidator(), CryptHashCloser());
  return true;
}

bool RsaSha1Check::Update(const void* data, std::size_t length) {
  if (!state_->hash) return false;
  const auto* bytes = static_cast<const BYTE*>(data);
  // CryptHashData counts in 32 bits.
  while (length > 0) {
    const DWORD piece = static_cast<DWORD>(length > 0x40000000u ? 0x40000000u : length);
    if (!::CryptHashData(state_->hash->Get(), bytes, piece, 0)) return false;
    bytes += piece;
    length -= piece;
  }
  return true;
}

// CryptVerifySignatureW reads the signature least significant byte first, which is
// how signatures are stored: they are handed over as they are.
bool RsaSha1Check::Finish(const std::uint8_t* signature, std::uint32_t signatureLength) {
  if (!state_->hash || !state_->key || signature == nullptr || signatureLength == 0) return false;
  return ::CryptVerifySignatureW(state_->hash->Get(), signature, signatureLength, state_->key->Get(), nullptr, 0) != 0;
}

bool Base64Encode(const void* data, std::uint32_t length, std::string& out) {
  if (data == nullptr || length == 0) return false;
  const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
  const auto* bytes = static_cast<const BYTE*>(data);
  DWORD size = 0;
  if (!::CryptBinaryToStringA(bytes, length, flags, nullptr, &size) || size == 0) return false;
  std::string text(size + 1, '\0');
  if (!::CryptBinaryToStringA(bytes, length, flags, text.data(), &size)) return false;
  out.assign(text.c_str());
  return true;
}

bool Base64Decode(const std::string& text, std::vector<std::uint8_t>& out) {
  out.clear();
  if (text.empty() || text.size() > INT32_MAX / 2) return false;
  return DecodeBase64(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, out);
}

}  // namespace Kyrowan::Windows
