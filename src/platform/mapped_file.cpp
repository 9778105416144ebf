#include "platform/mapped_file.h"

#include <algorithm>

namespace Kyrowan::Windows {

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

}  // namespace Kyrowan::Windows
