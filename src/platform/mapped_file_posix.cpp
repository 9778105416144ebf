#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/handles_posix.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

bool FileLength(FileHandle file, std::int64_t& length) {
  struct stat info {};
  if (::fstat(static_cast<int>(file), &info) != 0) return false;
  length = info.st_size;
  return true;
}

}  // namespace

std::int64_t MappingGranularity() { return ::sysconf(_SC_PAGESIZE); }

const char* MapFileRegion(FileHandle file, std::int64_t offset, std::int64_t size,
                          FileHandle* mapping, const void** viewBase, std::size_t* viewLength) {
  if (file < 0 || !mapping || !viewBase || !viewLength || size == 0) return nullptr;
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
  void* view = ::mmap(nullptr, static_cast<std::size_t>(span), PROT_READ, MAP_PRIVATE, static_cast<int>(file),
                      static_cast<off_t>(aligned));
  if (view == MAP_FAILED) return nullptr;
  *viewBase = view;
  *viewLength = static_cast<std::size_t>(span);
  return static_cast<const char*>(view) + delta;
}

void UnmapFileRegion(FileHandle /*mapping: POSIX has no separate mapping object*/, const void* viewBase,
                     std::size_t viewLength) {
  ScopedHandle<MappedView> view(MappedView{viewBase, viewLength}, ViewValidator(), ViewCloser());
}

MappedFile::MappedFile(std::wstring filePath) : path(std::move(filePath)) {}

MappedFile::~MappedFile() {
  if (mapped || file != kInvalidFileHandle) Release();
  data = nullptr;
  path.clear();
}

bool MappedFile::Open() {
  if (mapped) return true;
  if (!OpenUnmapped()) return false;
  data = MapFileRegion(file, 0, fileSize, &mapping, &viewBase, &viewLength);
  if (data == nullptr) {
    Release();
    return false;
  }
  mapped = true;
  return true;
}

bool MappedFile::OpenUnmapped() {
  if (file != kInvalidFileHandle) return true;
  if (path.empty()) return false;
  file = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    Release();
    return false;
  }
  struct stat info {};
  if (::fstat(static_cast<int>(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    Release();
    return false;
  }
  fileSize = info.st_size;
  if (fileSize == 0) {
    empty = true;
    Release();
    return false;
  }
  return true;
}

void MappedFile::Release() {
  UnmapFileRegion(mapping, viewBase, viewLength);
  { ScopedHandle<int> handle(static_cast<int>(file), FdValidator(), FdCloser()); }
  mapping = kInvalidFileHandle;
  file = kInvalidFileHandle;
  viewBase = nullptr;
  viewLength = 0;
  mapped = false;
  data = nullptr;
}

}  // namespace Kyrowan::Windows
