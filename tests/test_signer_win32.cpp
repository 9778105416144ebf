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

// The PKCS#1 PEM private key as the PRIVATEKEYBLOB CryptImportKey takes.
std::vector<BYTE> TestKeyBlob() {
  std::ifstream in(KYR_TEST_PRIVATE_KEY_PKCS1, std::ios::binary);
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
  DWORD length = 0;
  if (!::CryptDecodeObjectEx(kEncoding, PKCS_RSA_PRIVATE_KEY, der.data(), size, 0, nullptr, nullptr, &length))
    return {};
  std::vector<BYTE> blob(length);
  if (!::CryptDecodeObjectEx(kEncoding, PKCS_RSA_PRIVATE_KEY, der.data(), size, 0, nullptr, blob.data(), &length))
    return {};
  blob.resize(length);
  return blob;
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
  if (signature.empty()) ADD_FAILURE() << "cannot sign with the test key " << KYR_TEST_PRIVATE_KEY_PKCS1;
  return signature;
}

}  // namespace Kyrowan::Testing
