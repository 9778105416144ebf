#include "platform/mapped_file.h"

#include <algorithm>

#include "platform/mapped_file_backend.h"

namespace Kyrowan::Windows {

const char* MapFileRegion(FileHandle file, std::int64_t offset, std::int64_t size,
                          FileHandle* mapping, const void** viewBase, std::size_t* viewLength) {
  if (!IsOpenFile(file) || !mapping || !viewBase || !viewLength || size == 0) return nullptr;
  *mapping = kInvalidFileHandle;
  *viewBase = nullptr;
  *viewLength = 0;
  std::int64_t length = 0;
  if (!FileLength(file, length) || length == 0 || offset > length || size > length || size < 0) return nullptr;
  if (offset == -1) offset = length - size;
  if (offset < 0 || offset + size > length) return nullptr;
  const std::int64_t delta = offset % MappingGranularity();
  const std::int64_t aligned = offset - delta;
  const std::int64_t span = size + delta;
  if (aligned + span > length) return nullptr;
  const void* view = MapAlignedView(file, length, aligned, span, mapping);
  if (view == nullptr) return nullptr;
  *viewBase = view;
  *viewLength = static_cast<std::size_t>(span);
  return static_cast<const char*>(view) + delta;
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

bool MappedFile::ReadWindows(std::int64_t offset, std::int64_t length, const WindowVisitor& visit) const {
  if (file == kInvalidFileHandle || offset < 0 || length < 0 || offset > fileSize || length > fileSize - offset)
    return false;
  for (std::int64_t done = 0; done < length;) {
    const std::int64_t size = std::min(kReadWindowSize, length - done);
    FileHandle windowMapping = kInvalidFileHandle;
    const void* windowBase = nullptr;
    std::size_t windowLength = 0;
    const char* window = MapFileRegion(file, offset + done, size, &windowMapping, &windowBase, &windowLength);
    if (window == nullptr) return false;
    const bool goOn = visit(window, static_cast<std::size_t>(size));
    // Unmapped before the next window, so its pages leave the resident set.
    UnmapFileRegion(windowMapping, windowBase, windowLength);
    if (!goOn) return false;
    done += size;
  }
  return true;
}

void MappedFile::Release() {
  UnmapFileRegion(mapping, viewBase, viewLength);
  CloseFile(file);
  mapping = kInvalidFileHandle;
  file = kInvalidFileHandle;
  viewBase = nullptr;
  viewLength = 0;
  mapped = false;
  data = nullptr;
}

bool ReadFileRange(const MappedFile& file, std::int64_t offset, std::int64_t length, std::string& out) {
  out.clear();
  return file.ReadWindows(offset, length, [&out](const char* data, std::size_t size) {
    out.append(data, size);
    return true;
  });
}

}  // namespace Kyrowan::Windows
