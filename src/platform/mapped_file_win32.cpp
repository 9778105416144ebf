#include "platform/mapped_file.h"

#include <windows.h>

#include "platform/handles_win32.h"
#include "platform/scoped_handle.h"

namespace Kyrowan::Windows {

namespace {

HANDLE AsHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

bool FileLength(FileHandle file, std::int64_t& length) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(AsHandle(file), &size)) return false;
  length = size.QuadPart;
  return true;
}

DWORD High(std::int64_t value) { return static_cast<DWORD>(static_cast<std::uint64_t>(value) >> 32); }
DWORD Low(std::int64_t value) { return static_cast<DWORD>(static_cast<std::uint64_t>(value) & 0xFFFFFFFFu); }

}  // namespace

std::int64_t MappingGranularity() {
  SYSTEM_INFO info{};
  ::GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

const char* MapFileRegion(FileHandle file, std::int64_t offset, std::int64_t size,
                          FileHandle* mapping, const void** viewBase, std::size_t* viewLength) {
  if (!HandleValidator()(AsHandle(file)) || !mapping || !viewBase || !viewLength || size == 0) return nullptr;
  *mapping = kInvalidFileHandle;
  *viewBase = nullptr;
  *viewLength = 0;
  std::int64_t length = 0;
  if (!FileLength(file, length) || length == 0 || offset > length || size > length || size < 0) return nullptr;
  if (offset == -1) offset = length - size;
  if (offset < 0 || offset + size > length) return nullptr;
  const std::int64_t granularity = MappingGranularity();
  const std::int64_t delta = offset % granularity;
  const std::int64_t aligned = offset - delta;
  const std::int64_t span = size + delta;
  if (aligned + span > length) return nullptr;
  HANDLE section = ::CreateFileMappingW(AsHandle(file), nullptr, PAGE_READONLY, High(length), Low(length), nullptr);
  if (!HandleValidator()(section)) return nullptr;
  const void* view = ::MapViewOfFile(section, FILE_MAP_READ, High(aligned), Low(aligned), static_cast<SIZE_T>(span));
  if (view == nullptr) {
    HandleCloser()(section);
    return nullptr;
  }
  *mapping = FromHandle(section);
  *viewBase = view;
  *viewLength = static_cast<std::size_t>(span);
  return static_cast<const char*>(view) + delta;
}

void UnmapFileRegion(FileHandle mapping, const void* viewBase, std::size_t /*viewLength*/) {
  ScopedHandle<const void*> view(viewBase, ViewValidator(), ViewCloser());
  ScopedHandle<HANDLE> section(AsHandle(mapping), HandleValidator(), HandleCloser());
}

MappedFile::MappedFile(std::wstring filePath) : path(std::move(filePath)) {}

MappedFile::~MappedFile() {
  if (mapped) Release();
  data = nullptr;
  path.clear();
}

bool MappedFile::Open() {
  if (mapped) return true;
  if (path.empty()) return false;
  file = FromHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!HandleValidator()(AsHandle(file)) || !FileLength(file, fileSize)) {
    Release();
    return false;
  }
  if (fileSize == 0) {
    empty = true;
    Release();
    return false;
  }
  data = MapFileRegion(file, 0, fileSize, &mapping, &viewBase, &viewLength);
  if (data == nullptr) {
    Release();
    return false;
  }
  mapped = true;
  return true;
}

void MappedFile::Release() {
  UnmapFileRegion(mapping, viewBase, viewLength);
  { ScopedHandle<HANDLE> handle(AsHandle(file), HandleValidator(), HandleCloser()); }
  mapping = kInvalidFileHandle;
  file = kInvalidFileHandle;
  viewBase = nullptr;
  viewLength = 0;
  mapped = false;
  data = nullptr;
}

}  // namespace Kyrowan::Windows
