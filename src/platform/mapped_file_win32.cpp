#include "platform/mapped_file.h"

#include <windows.h>

#include "platform/file_system_win32.h"
#include "platform/handles_win32.h"
#include "platform/mapped_file_backend.h"
#include "platform/scoped_handle.h"

namespace Kyrowan::Windows {

namespace {

HANDLE AsHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

DWORD High(std::int64_t value) { return static_cast<DWORD>(static_cast<std::uint64_t>(value) >> 32); }
DWORD Low(std::int64_t value) { return static_cast<DWORD>(static_cast<std::uint64_t>(value) & 0xFFFFFFFFu); }

// The times of a victim's files are evidence: reading them should not move them. Keeping the
// access time needs the right to write attributes; without it the file is read plainly.
HANDLE OpenLeavingAccessTime(const std::wstring& path) {
  const auto open = [&path](DWORD access) {
    return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  };
  HANDLE file = open(GENERIC_READ | FILE_WRITE_ATTRIBUTES);
  if (!HandleValidator()(file)) return open(GENERIC_READ);
  const FILETIME keep{0xFFFFFFFFu, 0xFFFFFFFFu};
  ::SetFileTime(file, nullptr, &keep, nullptr);  // best effort: the read goes on either way
  return file;
}

}  // namespace

bool IsOpenFile(FileHandle file) { return HandleValidator()(AsHandle(file)); }

bool FileLength(FileHandle file, std::int64_t& length) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(AsHandle(file), &size)) return false;
  length = size.QuadPart;
  return true;
}

std::int64_t MappingGranularity() {
  SYSTEM_INFO info{};
  ::GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

const void* MapAlignedView(FileHandle file, std::int64_t fileLength, std::int64_t alignedOffset, std::int64_t span,
                           FileHandle* mapping) {
  HANDLE section =
      ::CreateFileMappingW(AsHandle(file), nullptr, PAGE_READONLY, High(fileLength), Low(fileLength), nullptr);
  if (!HandleValidator()(section)) return nullptr;
  const void* view =
      ::MapViewOfFile(section, FILE_MAP_READ, High(alignedOffset), Low(alignedOffset), static_cast<SIZE_T>(span));
  if (view == nullptr) {
    HandleCloser()(section);
    return nullptr;
  }
  *mapping = FromHandle(section);
  return view;
}

void UnmapFileRegion(FileHandle mapping, const void* viewBase, std::size_t /*viewLength*/) {
  ScopedHandle<const void*> view(viewBase, ViewValidator(), ViewCloser());
  ScopedHandle<HANDLE> section(AsHandle(mapping), HandleValidator(), HandleCloser());
}

void CloseFile(FileHandle file) { ScopedHandle<HANDLE> handle(AsHandle(file), HandleValidator(), HandleCloser()); }

bool MappedFile::OpenUnmapped() {
  if (file != kInvalidFileHandle) return true;
  if (path.empty()) return false;
  file = FromHandle(OpenLeavingAccessTime(LongPath(path)));
  // A folder does not open without FILE_FLAG_BACKUP_SEMANTICS: only files get here.
  if (!HandleValidator()(AsHandle(file)) || !FileLength(file, fileSize)) {
    Release();
    return false;
  }
  if (fileSize == 0) {
    empty = true;
    Release();
    return false;
  }
  return true;
}

}  // namespace Kyrowan::Windows
