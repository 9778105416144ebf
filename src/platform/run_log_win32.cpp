#include "platform/run_log.h"

#include <windows.h>

#include "platform/file_system_win32.h"

namespace Kyrowan::Windows {

namespace {

// Append-only access: concurrent runs each land whole at the end. Shared for
// deletion, so another run may move the log aside while this one holds it.
HANDLE OpenForAppend(const std::wstring& path) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  return ::CreateFileW(LongPath(path).c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

}  // namespace

bool AppendToRunLog(const std::wstring& path, std::string_view lines, std::uint64_t maxBytes) {
  HANDLE file = OpenForAppend(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file, &size) && size.QuadPart > 0 &&
      static_cast<std::uint64_t>(size.QuadPart) + lines.size() > maxBytes) {
    ::CloseHandle(file);
    if (!::MoveFileExW(LongPath(path).c_str(), LongPath(path + L".1").c_str(), MOVEFILE_REPLACE_EXISTING))
      return false;
    file = OpenForAppend(path);
    if (file == INVALID_HANDLE_VALUE) return false;
  }
  DWORD written = 0;
  const DWORD count = static_cast<DWORD>(lines.size());
  const bool ok = ::WriteFile(file, lines.data(), count, &written, nullptr) && written == count;
  return ::CloseHandle(file) && ok;
}

}  // namespace Kyrowan::Windows
