#include "identify/file_sample.h"

#include <algorithm>

#include "identify/hint_index.h"
#include "platform/mapped_file.h"

namespace Kyrowan::Identify {

namespace {

// `length` bytes from `start` of the file when the sample holds them all in one window.
bool SampleHolds(const FileSample& sample, std::int64_t start, std::size_t length, std::string_view& bytes) {
  const auto count = static_cast<std::int64_t>(length);
  if (start < 0 || count > sample.size - start) return false;
  if (start + count <= static_cast<std::int64_t>(sample.head.size())) {
    bytes = std::string_view(sample.head).substr(static_cast<std::size_t>(start), length);
    return true;
  }
  const std::int64_t tailStart = sample.size - static_cast<std::int64_t>(sample.tail.size());
  if (start < tailStart) return false;
  bytes = std::string_view(sample.tail).substr(static_cast<std::size_t>(start - tailStart), length);
  return true;
}

}  // namespace

bool ReadFileSample(const std::wstring& path, FileSample& sample) {
  sample = FileSample{};
  Windows::MappedFile file(path);
  if (!file.OpenUnmapped()) return file.empty;
  sample.size = file.fileSize;
  const std::int64_t window = std::min<std::int64_t>(file.fileSize, static_cast<std::int64_t>(kSampleWindow));
  return Windows::ReadFileRange(file, 0, window, sample.head) && Windows::ReadFileRange(file, file.fileSize - window, window, sample.tail);
}

bool MarkerMatches(const FileSample& sample, const MarkerHint& marker) {
  if (marker.bytes.empty()) return false;
  const std::int64_t start = marker.offset >= 0 ? marker.offset : sample.size + marker.offset;
  std::string_view bytes;
  return SampleHolds(sample, start, marker.bytes.size(), bytes) && bytes == marker.bytes;
}

}  // namespace Kyrowan::Identify
