// Digests and fingerprints on CryptoAPI.
#include "platform/key_fingerprint.h"

#include <optional>

#include <windows.h>
#include <wincrypt.h>

#include "platform/handles_win32.h"
#include "platform/scoped_handle.h"

namespace Kyrowan::Windows {

bool Sha256Hex(const void* data, std::size_t length, std::string& hex) {
  if ((data == nullptr && length != 0) || length > MAXDWORD) return false;
  HCRYPTPROV rawProvider = 0;
  if (!::CryptAcquireContextW(&rawProvider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
  ScopedHandle<HCRYPTPROV> provider(rawProvider, CryptHandleValidator(), CryptProvContextCloser());
  HCRYPTHASH rawHash = 0;
  if (!::CryptCreateHash(rawProvider, CALG_SHA_256, 0, 0, &rawHash)) return false;
  std::optional<ScopedHandle<HCRYPTHASH>> hash;
  hash.emplace(rawHash, CryptHandleValidator(), CryptHashCloser());
  BYTE digest[32];
  DWORD digestLength = sizeof digest;
  if (!::CryptHashData(rawHash, static_cast<const BYTE*>(data), static_cast<DWORD>(length), 0) ||
      !::CryptGetHashParam(rawHash, HP_HASHVAL, digest, &digestLength, 0))
    return false;
  hash.reset();  // before its provider
  hex = ToHex(digest, digestLength);
  return true;
}

}  // namespace Kyrowan::Windows
