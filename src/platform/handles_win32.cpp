#include "platform/handles_win32.h"

#include <wininet.h>

namespace Kyrowan::Windows {

bool HandleValidator::operator()(HANDLE handle) const {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

bool HandleValidator::operator()(HMODULE module) const { return (*this)(static_cast<HANDLE>(module)); }

void HandleCloser::operator()(HANDLE handle) const {
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
}

void InetHandleCloser::operator()(void* handle) const {
  if (HandleValidator()(static_cast<HANDLE>(handle))) ::InternetCloseHandle(handle);
}

void LibraryCloser::operator()(HMODULE module) const {
  if (HandleValidator()(module)) ::FreeLibrary(module);
}

bool ViewValidator::operator()(const void* view) const { return view != nullptr; }

void ViewCloser::operator()(const void* view) const {
  if (view != nullptr) ::UnmapViewOfFile(view);
}

bool CryptHandleValidator::operator()(ULONG_PTR handle) const { return handle != 0; }

void CryptProvContextCloser::operator()(HCRYPTPROV provider) const {
  if (CryptHandleValidator()(provider)) ::CryptReleaseContext(provider, 0);
}

void CryptKeyCloser::operator()(HCRYPTKEY key) const {
  if (CryptHandleValidator()(key)) ::CryptDestroyKey(key);
}

void CryptHashCloser::operator()(HCRYPTHASH hash) const {
  if (CryptHandleValidator()(hash)) ::CryptDestroyHash(hash);
}

bool WriteAllToFile(HANDLE file, const void* data, std::size_t length) {
  const char* cursor = static_cast<const char*>(data);
  while (length > 0) {
    const DWORD chunk = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
    DWORD written = 0;
    if (!::WriteFile(file, cursor, chunk, &written, nullptr) || written == 0) return false;
    cursor += written;
    length -= written;
  }
  return true;
}

}  // namespace Kyrowan::Windows
