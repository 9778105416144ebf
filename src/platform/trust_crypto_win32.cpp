// The metadata's cryptography on CryptoAPI.
#include "platform/trust_crypto.h"

#include <algorithm>
#include <optional>

#include <windows.h>
#include <wincrypt.h>

#include "platform/handles_win32.h"
#include "platform/key_fingerprint.h"
#include "platform/scoped_handle.h"
#include "platform/signature_checks.h"

namespace Kyrowan::Windows {

namespace {

constexpr std::string_view kPemHeader = "-----BEGIN PUBLIC KEY-----";
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

bool Decode(LPCSTR type, const BYTE* der, DWORD size, std::vector<std::uint8_t>& out) {
  DWORD length = 0;
  if (!::CryptDecodeObjectEx(kEncoding, type, der, size, 0, nullptr, nullptr, &length) || length == 0) return false;
  out.assign(length, 0);
  if (!::CryptDecodeObjectEx(kEncoding, type, der, size, 0, nullptr, out.data(), &length)) return false;
  out.resize(length);
  return true;
}

// The PUBLICKEYBLOB of an RSA SubjectPublicKeyInfo.
bool RsaBlob(const std::vector<std::uint8_t>& info, std::vector<std::uint8_t>& blob) {
  std::vector<std::uint8_t> decoded;
  if (!Decode(X509_PUBLIC_KEY_INFO, info.data(), static_cast<DWORD>(info.size()), decoded)) return false;
  const auto* spki = reinterpret_cast<const CERT_PUBLIC_KEY_INFO*>(decoded.data());
  if (spki->Algorithm.pszObjId == nullptr || std::string_view(spki->Algorithm.pszObjId) != szOID_RSA_RSA) return false;
  return Decode(RSA_CSP_PUBLICKEYBLOB, spki->PublicKey.pbData, spki->PublicKey.cbData, blob);
}

// The DER inside PEM text, whatever its label.
bool PemBody(std::string_view pem, std::vector<std::uint8_t>& der) {
  DWORD size = 0;
  const auto length = static_cast<DWORD>(pem.size());
  if (pem.size() > MAXDWORD ||
      !::CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr) ||
      size == 0)
    return false;
  der.assign(size, 0);
  if (!::CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
    return false;
  der.resize(size);
  return size != 0;
}

// The size of the key in a PUBLICKEYBLOB; 0 when the blob is too short to say.
unsigned BlobBits(const std::vector<std::uint8_t>& blob) {
  if (blob.size() < sizeof(BLOBHEADER) + sizeof(RSAPUBKEY)) return 0;
  return reinterpret_cast<const RSAPUBKEY*>(blob.data() + sizeof(BLOBHEADER))->bitlen;
}

std::optional<ScopedHandle<HCRYPTPROV>> AesProvider() {
  HCRYPTPROV raw = 0;
  if (!::CryptAcquireContextW(&raw, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return std::nullopt;
  return std::optional<ScopedHandle<HCRYPTPROV>>(std::in_place, raw, CryptHandleValidator(), CryptProvContextCloser());
}

}  // namespace

bool DecodeMetadataKey(std::string_view pem, MetadataKey& key) {
  const std::size_t start = pem.find_first_not_of(" \t\r\n");
  std::vector<std::uint8_t> der, blob;
  if (start == std::string_view::npos || pem.substr(start, kPemHeader.size()) != kPemHeader || !PemBody(pem, der) ||
      !RsaBlob(der, blob) || BlobBits(blob) == 0)
    return false;
  key.info = std::move(der);
  key.bits = BlobBits(blob);
  return true;
}

bool DecodeRsaPublicKey(std::string_view pem, MetadataKey& key) {
  std::vector<std::uint8_t> blob, pkcs1;
  std::uint32_t size = 0;
  if (pem.size() > MAXDWORD || !DecodePemPublicKey(pem.data(), static_cast<std::uint32_t>(pem.size()), blob, size) ||
      !PemBody(pem, pkcs1) || BlobBits(blob) == 0)
    return false;
  // A SubjectPublicKeyInfo: the rsaEncryption algorithm with NULL parameters, and the key.
  static const BYTE kNullParameters[] = {0x05, 0x00};
  CERT_PUBLIC_KEY_INFO info{};
  info.Algorithm.pszObjId = const_cast<LPSTR>(szOID_RSA_RSA);
  info.Algorithm.Parameters.cbData = sizeof kNullParameters;
  info.Algorithm.Parameters.pbData = const_cast<BYTE*>(kNullParameters);
  info.PublicKey.cbData = static_cast<DWORD>(pkcs1.size());
  info.PublicKey.pbData = pkcs1.data();
  DWORD length = 0;
  if (!::CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &info, 0, nullptr, nullptr, &length) ||
      length == 0)
    return false;
  key.info.assign(length, 0);
  if (!::CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &info, 0, nullptr, key.info.data(), &length))
    return false;
  key.info.resize(length);
  key.bits = BlobBits(blob);
  return true;
}

bool PackageKeyBlob(const MetadataKey& key, std::vector<std::uint8_t>& blob) { return RsaBlob(key.info, blob); }

// CryptVerifySignatureW reads the signature least significant byte first.
bool VerifyRsaSha256(const MetadataKey& key, std::string_view data, const std::vector<std::uint8_t>& signature) {
  std::vector<std::uint8_t> blob;
  auto provider = AesProvider();
  if (signature.empty() || data.size() > MAXDWORD || !RsaBlob(key.info, blob) || !provider) return false;
  HCRYPTKEY rawKey = 0;
  if (!::CryptImportKey(provider->Get(), blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &rawKey)) return false;
  ScopedHandle<HCRYPTKEY> imported(rawKey, CryptHandleValidator(), CryptKeyCloser());
  HCRYPTHASH rawHash = 0;
  if (!::CryptCreateHash(provider->Get(), CALG_SHA_256, 0, 0, &rawHash)) return false;
  ScopedHandle<HCRYPTHASH> hash(rawHash, CryptHandleValidator(), CryptHashCloser());
  std::vector<std::uint8_t> littleEndian(signature.rbegin(), signature.rend());
  return ::CryptHashData(rawHash, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0) &&
         ::CryptVerifySignatureW(rawHash, littleEndian.data(), static_cast<DWORD>(littleEndian.size()), rawKey,
                                 nullptr, 0);
}

struct Sha256Stream::State {
  std::optional<ScopedHandle<HCRYPTPROV>> provider = AesProvider();
  std::optional<ScopedHandle<HCRYPTHASH>> hash;
  bool good = false;
  State() {
    HCRYPTHASH raw = 0;
    good = provider && ::CryptCreateHash(provider->Get(), CALG_SHA_256, 0, 0, &raw);
    if (good) hash.emplace(raw, CryptHandleValidator(), CryptHashCloser());
  }
  ~State() { hash.reset(); }  // before its provider
};

Sha256Stream::Sha256Stream() : state_(std::make_unique<State>()) {}

Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Update(const void* data, std::size_t length) {
  const auto* bytes = static_cast<const BYTE*>(data);
  while (state_->good && length > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(length, 0x40000000u));
    state_->good = ::CryptHashData(state_->hash->Get(), bytes, piece, 0) != 0;
    bytes += piece;
    length -= piece;
  }
}

std::string Sha256Stream::FinishHex() {
  BYTE digest[32];
  DWORD length = sizeof digest;
  if (!state_->good || !::CryptGetHashParam(state_->hash->Get(), HP_HASHVAL, digest, &length, 0)) return {};
  state_->good = false;
  return ToHex(digest, length);
}

}  // namespace Kyrowan::Windows
