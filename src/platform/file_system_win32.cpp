#include "platform/file_system.h"

#include <algorithm>
#include <cwctype>
#include <utility>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include "platform/file_system_win32.h"
#include "platform/failure_causes.h"
#include "platform/guid.h"
#include "platform/handles_win32.h"
#include "platform/scoped_handle.h"

namespace Kyrowan::Windows {

const wchar_t kPathSeparator = L'\\';
const bool kPathsIgnoreCase = true;
const wchar_t* const kDataFolderSuffix = L"\\Kyrowan\\KyrDecrypt";

namespace {

using FileOwner = ScopedHandle<HANDLE>;

FileOwner CreateForWriting(const std::wstring& path, DWORD disposition) {
  return FileOwner(
      ::CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr),
      HandleValidator(), HandleCloser());
}

// The prefixed form is taken literally: it must be full, with backslashes only.
std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return {};
  full.resize(length);
  return full;
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Written beside the target and renamed over it: whatever was planted at the target
// (a link included) is replaced, never written through.
bool ReplaceWith(const std::wstring& path, std::string_view bytes, bool durable) {
  if (path.empty()) return false;
  std::wstring temporary;
  bool written = false;
  {
    FileOwner file(CreateUniqueFileBeside(path, temporary), HandleValidator(), HandleCloser());
    if (!file.IsValid()) return false;
    written = WriteAllToFile(file.Get(), bytes.data(), bytes.size()) && (!durable || ::FlushFileBuffers(file.Get()));
  }
  if (!written || !MoveFileOver(temporary, path)) {
    ::DeleteFileW(LongPath(temporary).c_str());
    return false;
  }
  return true;
}

// The full path under the "\\?\" prefix, whatever its length; empty when it has none.
std::wstring PrefixedPath(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) == 0) return path;
  const std::wstring full = FullPath(path);
  if (full.empty()) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Makes `folder` (full, no trailing separator) after its missing parents; one made
// meanwhile by someone else counts as made.
bool CreateFolderChain(const std::wstring& folder) {
  if (::CreateDirectoryW(folder.c_str(), nullptr)) return true;
  DWORD error = ::GetLastError();
  const std::size_t cut = folder.find_last_of(L'\\');
  if (error == ERROR_PATH_NOT_FOUND && cut != std::wstring::npos && cut != 0) {
    // A parent that cannot be made has said why.
    if (!CreateFolderChain(folder.substr(0, cut))) return false;
    if (::CreateDirectoryW(folder.c_str(), nullptr)) return true;
    error = ::GetLastError();
  }
  if (error == ERROR_ALREADY_EXISTS && IsFolder(folder)) return true;
  RecordFileFailure(L"create", folder, error);
  return false;
}

// Removes what is at `path` (prefixed): a folder with everything in it; a link or
// junction goes itself and is never walked into. Nothing there is success.
bool RemoveTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return ::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ::DeleteFileW(path.c_str()) != 0;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    std::vector<FolderEntry> entries;
    if (!ListFolderEntries(path, entries)) return false;
    for (const FolderEntry& entry : entries)
      if (!RemoveTree(path + L'\\' + entry.name)) return false;
  }
  return ::RemoveDirectoryW(path.c_str()) != 0;
}

}  // namespace

std::wstring LongPath(const std::wstring& path) {
  if (path.size() < MAX_PATH - 12) return path;
  const std::wstring full = PrefixedPath(path);
  return full.empty() ? path : full;
}

bool GetMachineDataFolder(std::wstring& out) {
  wchar_t folder[MAX_PATH] = {};
  const HRESULT result =
      ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder);
  if (FAILED(result)) return false;
  out = folder;
  return !out.empty();
}

bool GetParentFolder(std::wstring_view path, std::wstring& out) {
  if (path.empty() || path.size() > 32767) return false;
  // Stored names separate with forward slashes too.
  std::wstring parent(path);
  std::replace(parent.begin(), parent.end(), L'/', L'\\');
  const std::size_t cut = parent.find_last_of(L'\\');
  if (cut == std::wstring::npos) return false;
  const std::wstring whole = parent;
  parent.resize(cut);
  // A root keeps its separator: "C:\top" gives "C:\", "\top" gives "\".
  if (parent.empty() || parent.back() == L':') parent += L'\\';
  if (parent == whole) return false;
  out = parent;
  return true;
}

bool GetTemporaryFolder(std::wstring& out) {
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return false;
  out.assign(folder, length);
  // "C:\" keeps its separator; every other folder loses the trailing one.
  if (out.size() > 3 && out.back() == L'\\') out.pop_back();
  return true;
}

bool CreateFolderTree(const std::wstring& folder) {
  if (folder.empty()) return false;
  std::wstring full = FullPath(folder);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return !full.empty() && CreateFolderChain(LongPath(full));
}

bool PathExists(const std::wstring& path) {
  return !path.empty() && ::GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const std::wstring& path) { return !path.empty() && ::DeleteFileW(LongPath(path).c_str()) != 0; }

bool RemoveFolderTree(const std::wstring& folder) {
  if (folder.empty()) return false;
  // Prefixed whatever its own length, as the paths below it may be long. A trailing
  // separator goes: the prefixed form takes the doubled one below it literally.
  std::wstring full = PrefixedPath(folder);
  while (full.size() > 1 && full.back() == L'\\' && full[full.size() - 2] != L':') full.pop_back();
  return !full.empty() && RemoveTree(full);
}

bool RemoveEmptyFolder(const std::wstring& folder) {
  return !folder.empty() && ::RemoveDirectoryW(LongPath(folder).c_str()) != 0;
}

bool MovePath(const std::wstring& from, const std::wstring& to) {
  if (from.empty() || to.empty()) return false;
  // Without MOVEFILE_REPLACE_EXISTING an existing target fails the move.
  return ::MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool MoveFileOver(const std::wstring& from, const std::wstring& to) {
  if (from.empty() || to.empty()) return false;
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  return ::MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), flags) != 0;
}

bool ListSubfolders(const std::wstring& folder, std::vector<std::wstring>& out) {
  out.clear();
  if (folder.empty()) return false;
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileExW((LongPath(folder) + L"\\*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    const std::wstring name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != L"." && name != L"..")
      out.push_back(name);
  } while (::FindNextFileW(search, &found));
  const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
  ::FindClose(search);
  return complete;
}

namespace {

// Reparse points (symbolic links, junctions, mount points) are never walked into.
PathKind KindOfAttributes(DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::Other;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::Folder;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::Other;
  return PathKind::File;
}

}  // namespace

bool ListFolderEntries(const std::wstring& folder, std::vector<FolderEntry>& out) {
  out.clear();
  if (folder.empty()) return false;
  const std::wstring base = LongPath(folder);
  const bool endsWithSeparator = base.back() == L'\\' || base.back() == L'/';
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileExW((base + (endsWithSeparator ? L"*" : L"\\*")).c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  // A drive's root has no "." entry, so an empty one finds nothing at all.
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND && IsFolder(folder);
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") out.push_back({name, KindOfAttributes(found.dwFileAttributes)});
  } while (::FindNextFileW(search, &found));
  const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
  ::FindClose(search);
  return complete;
}

bool GetPathKind(const std::wstring& path, PathKind& kind) {
  if (path.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // A path the user names is followed even when it is a link.
  kind = KindOfAttributes(attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
  return true;
}

bool WriteNewFile(const std::wstring& path, std::string_view bytes) { return ReplaceWith(path, bytes, false); }

bool CreateExclusiveFile(const std::wstring& path, std::string_view bytes) {
  if (path.empty()) return false;
  // CREATE_NEW fails on anything already at the name, a link included.
  bool written = false;
  {
    FileOwner file = CreateForWriting(path, CREATE_NEW);
    if (!file.IsValid()) return false;
    written = WriteAllToFile(file.Get(), bytes.data(), bytes.size());
  }
  if (!written) ::DeleteFileW(LongPath(path).c_str());
  return written;
}

bool ReplaceFileAtomically(const std::wstring& path, std::string_view bytes) { return ReplaceWith(path, bytes, true); }

namespace {

constexpr std::wstring_view kTemporaryEnd = L".tmp";
// A GUID without its braces: 8-4-4-4-12 hex digits.
constexpr std::size_t kGuidChars = 36;

bool IsGuidText(std::wstring_view text) {
  if (text.size() != kGuidChars) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != L'-' : !std::iswxdigit(text[i])) return false;
  }
  return true;
}

}  // namespace

bool IsTemporaryCopyName(std::wstring_view fileName) {
  const std::size_t tail = 1 + kGuidChars + kTemporaryEnd.size();
  if (fileName.size() <= tail || fileName.substr(fileName.size() - kTemporaryEnd.size()) != kTemporaryEnd) return false;
  const std::wstring_view guidAndDot = fileName.substr(fileName.size() - tail, 1 + kGuidChars);
  return guidAndDot.front() == L'.' && IsGuidText(guidAndDot.substr(1));
}

void RemoveAbandonedTemporaryFiles(const std::wstring& folder, std::int64_t minimumAge) {
  std::vector<FolderEntry> entries;
  if (!ListFolderEntries(folder, entries)) return;
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& time) {
    return (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  for (const FolderEntry& entry : entries) {
    if (entry.kind != PathKind::File || !IsTemporaryCopyName(entry.name)) continue;
    const std::wstring path = LongPath(folder + L'\\' + entry.name);
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) continue;
    // Writers open their temporary file shared with nobody, so a live writer's file cannot be deleted.
    if ((ticks(now) - ticks(attributes.ftLastWriteTime)) / 10'000'000 >= minimumAge) ::DeleteFileW(path.c_str());
  }
}

HANDLE CreateUniqueFileBeside(const std::wstring& target, std::wstring& path) {
  if (target.empty()) return INVALID_HANDLE_VALUE;
  // A clash is a planted name or a one-in-2^122 accident: a few tries settle either.
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::wstring guid;
    if (CreateGuidText(guid) != 0) return INVALID_HANDLE_VALUE;
    const std::wstring candidate = target + L"." + guid.substr(1, guid.size() - 2) + std::wstring(kTemporaryEnd);
    HANDLE file = ::CreateFileW(LongPath(candidate).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      path = candidate;
      return file;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) return INVALID_HANDLE_VALUE;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace Kyrowan::Windows
