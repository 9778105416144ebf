#include "tests/test_signer.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include "platform/handles_win32.h"
#include "platform/scoped_handle.h"

namespace Kyrowan::Testing {

namespace {

using Windows::CryptHandleValidator;
using Windows::ScopedHandle;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::vector<BYTE> Decode(LPCSTR type, const BYTE* der, DWORD size) {
  DWORD length = 0;
  if (!::CryptDecodeObjectEx(kEncoding, type, der, size, 0, nullptr, nullptr, &length)) return {};
  std::vector<BYTE> out(length);
  if (!::CryptDecodeObjectEx(kEncoding, type, der, size, 0, nullptr, out.data(), &length)) return {};
  out.resize(length);
  return out;
}

// The PKCS#8 PEM private key as the PRIVATEKEYBLOB CryptImportKey takes.
std::vector<BYTE> TestKeyBlob() {
  std::ifstream in(KYR_TEST_PRIVATE_KEY, std::ios::binary);
  std::ostringstream pem;
  pem << in.rdbuf();
  const std::string text = pem.str();
  DWORD size = 0;
  if (!::CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr) || size == 0)
    return {};
  std::vector<BYTE> der(size);
  if (!::CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                              &size, nullptr, nullptr))
    return {};
  const std::vector<BYTE> info = Decode(PKCS_PRIVATE_KEY_INFO, der.data(), size);
  if (info.empty()) return {};
  const auto* keyInfo = reinterpret_cast<const CRYPT_PRIVATE_KEY_INFO*>(info.data());
  return Decode(PKCS_RSA_PRIVATE_KEY, keyInfo->PrivateKey.pbData, keyInfo->PrivateKey.cbData);
}

std::vector<std::uint8_t> Sign(const std::string& bytes) {
  static const std::vector<BYTE> blob = TestKeyBlob();
  if (blob.empty()) return {};
  HCRYPTPROV rawProvider = 0;
  if (!::CryptAcquireContextW(&rawProvider, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
    return {};
  ScopedHandle<HCRYPTPROV> provider(rawProvider, CryptHandleValidator(), Windows::CryptProvContextCloser());
  HCRYPTKEY rawKey = 0;
  if (!::CryptImportKey(rawProvider, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &rawKey)) return {};
  ScopedHandle<HCRYPTKEY> key(rawKey, CryptHandleValidator(), Windows::CryptKeyCloser());
  HCRYPTHASH rawHash = 0;
  if (!::CryptCreateHash(rawProvider, CALG_SHA1, 0, 0, &rawHash)) return {};
  ScopedHandle<HCRYPTHASH> hash(rawHash, CryptHandleValidator(), Windows::CryptHashCloser());
  DWORD length = 0;
  if (!::CryptHashData(rawHash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) ||
      !::CryptSignHashW(rawHash, AT_KEYEXCHANGE, nullptr, 0, nullptr, &length))
    return {};
  // CryptoAPI writes the least significant byte first, as signatures are stored.
  std::vector<std::uint8_t> signature(length);
  if (!::CryptSignHashW(rawHash, AT_KEYEXCHANGE, nullptr, 0, signature.data(), &length)) return {};
  signature.resize(length);
  return signature;
}

}  // namespace

std::vector<std::uint8_t> SignRawWithTestKey(const std::string& bytes) {
  std::vector<std::uint8_t> signature = Sign(bytes);
  if (signature.empty()) ADD_FAILURE() << "cannot sign with the test key " << KYR_TEST_PRIVATE_KEY;
  return signature;
}

}  // namespace Kyrowan::Testing
