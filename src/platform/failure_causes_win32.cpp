#include <windows.h>

#include "platform/failure_causes.h"

namespace Kyrowan::Windows {

std::wstring OsErrorText(std::uint32_t code) {
  wchar_t* buffer = nullptr;
  // WinINet's codes (12000-12199) have their texts in its own module, not the system's.
  HMODULE wininet = code >= 12000 && code < 12200 ? ::GetModuleHandleW(L"wininet.dll") : nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                      (wininet ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  const DWORD length = ::FormatMessageW(flags, wininet, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length && buffer ? std::wstring(buffer, length) : L"error " + std::to_wstring(code);
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
    text.pop_back();
  return text;
}

std::uint32_t LastOsError() { return ::GetLastError(); }

bool IsNoSpaceError(std::uint32_t code) { return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL; }

}  // namespace Kyrowan::Windows
