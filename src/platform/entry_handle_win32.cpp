#include "platform/entry_handle.h"

#include <windows.h>

#include "platform/file_system_win32.h"
#include "platform/handles_win32.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L'\\' + name;
}

// The times of a victim's files are evidence: reading them should not move them. Keeping the
// access time needs the right to write attributes; without it the entry is read plainly.
// Backup semantics open folders too; with `flags` holding FILE_FLAG_OPEN_REPARSE_POINT a
// link or junction is opened itself, never followed.
HANDLE OpenLeavingAccessTime(const std::wstring& path, DWORD flags) {
  const auto open = [&](DWORD access) {
    return ::CreateFileW(LongPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
  };
  HANDLE entry = open(GENERIC_READ | FILE_WRITE_ATTRIBUTES);
  if (!HandleValidator()(entry)) return open(GENERIC_READ);
  const FILETIME keep{0xFFFFFFFFu, 0xFFFFFFFFu};
  ::SetFileTime(entry, nullptr, &keep, nullptr);  // best effort: the read goes on either way
  return entry;
}

// Where an open folder really is, links resolved: its children are opened below that.
std::wstring FinalPath(HANDLE folder, const std::wstring& fallback) {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = ::GetFinalPathNameByHandleW(folder, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
  if (length >= path.size()) {
    path.resize(length + 1);
    length = ::GetFinalPathNameByHandleW(folder, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
  }
  if (length == 0 || length >= path.size()) return fallback;
  path.resize(length);
  return path;
}

// Judged through the handle: the name may have been swapped since it was listed.
EntryKind KindOfHandle(HANDLE entry, std::int64_t& size) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(entry, &info)) return EntryKind::Unreadable;
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0)
    return EntryKind::NotFollowed;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::Folder;
  if (::GetFileType(entry) != FILE_TYPE_DISK) return EntryKind::NotFollowed;
  size = (static_cast<std::int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return EntryKind::File;
}

}  // namespace

EntryHandle EntryHandle::OpenPath(const std::string& path) {
  if (path.empty()) return {};
  const std::wstring wide = FromUtf8(path);
  HANDLE entry = OpenLeavingAccessTime(wide, 0);
  if (!HandleValidator()(entry)) return {};
  std::int64_t size = 0;
  const EntryKind kind = KindOfHandle(entry, size);
  if (kind != EntryKind::File && kind != EntryKind::Folder) {
    HandleCloser()(entry);
    return {};
  }
  return EntryHandle(reinterpret_cast<std::intptr_t>(entry), kind, size, FinalPath(entry, wide));
}

EntryHandle EntryHandle::OpenChild(const std::string& name) const {
  if (kind_ != EntryKind::Folder || name.empty() || name.find_first_of("/\\") != std::string::npos) return {};
  // The folder's own handle, held open without delete sharing, keeps its path from changing.
  const std::wstring path = Join(path_, FromUtf8(name));
  HANDLE entry = OpenLeavingAccessTime(path, FILE_FLAG_OPEN_REPARSE_POINT);
  if (!HandleValidator()(entry)) return {};
  std::int64_t size = 0;
  const EntryKind kind = KindOfHandle(entry, size);
  if (kind != EntryKind::File && kind != EntryKind::Folder) {
    HandleCloser()(entry);
    return EntryHandle(-1, kind, 0, {});
  }
  return EntryHandle(reinterpret_cast<std::intptr_t>(entry), kind, size, path);
}

bool EntryHandle::ListNames(std::vector<std::string>& names) const {
  names.clear();
  if (kind_ != EntryKind::Folder) return false;
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileExW(LongPath(Join(path_, L"*")).c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  // A drive's root has no "." entry, so an empty one finds nothing at all.
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(ToUtf8(name));
  } while (::FindNextFileW(search, &found));
  const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
  ::FindClose(search);
  return complete;
}

bool EntryHandle::ReadAt(std::int64_t offset, std::size_t length, std::string& out) const {
  out.assign(length, '\0');
  std::size_t filled = 0;
  while (kind_ == EntryKind::File && filled < length) {
    const auto at = static_cast<std::uint64_t>(offset) + filled;
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    place.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    const BOOL read = ::ReadFile(AsHandle(handle_), out.data() + filled, static_cast<DWORD>(length - filled), &got,
                                 &place);
    if (!read || got == 0) {
      out.resize(filled);
      return read || ::GetLastError() == ERROR_HANDLE_EOF;
    }
    filled += got;
  }
  return kind_ == EntryKind::File;
}

}  // namespace Kyrowan::Windows
