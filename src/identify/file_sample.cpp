#include "identify/file_sample.h"

#include <algorithm>

#include "identify/hint_index.h"
#include "platform/entry_handle.h"

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

bool ReadFileSample(const Windows::EntryHandle& file, FileSample& sample) {
  sample = FileSample{};
  sample.size = file.Size();
  const auto window = static_cast<std::size_t>(std::min<std::int64_t>(sample.size, static_cast<std::int64_t>(kSampleWindow)));
  // A file that shrank since it was opened cannot give the windows its size promises.
  return file.ReadAt(0, window, sample.head) && sample.head.size() == window &&
         file.ReadAt(sample.size - static_cast<std::int64_t>(window), window, sample.tail) &&
         sample.tail.size() == window;
}

bool MarkerMatches(const FileSample& sample, const MarkerHint& marker) {
  if (marker.bytes.empty()) return false;
  const std::int64_t start = marker.offset >= 0 ? marker.offset : sample.size + marker.offset;
  std::string_view bytes;
  return SampleHolds(sample, start, marker.bytes.size(), bytes) && bytes == marker.bytes;
}

}  // namespace Kyrowan::Identify
