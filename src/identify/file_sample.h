#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Kyrowan::Windows {
class EntryHandle;
}

namespace Kyrowan::Identify {

struct MarkerHint;

/// How many bytes are read from the start and from the end of each file. A marker
/// lying wholly inside either window can match; one beyond them never does.
inline constexpr std::size_t kSampleWindow = 4096;

/// The bytes a file is judged by: its first and last kSampleWindow bytes (both the
/// whole file when it is shorter).
struct FileSample {
  std::int64_t size = 0;
  std::string head;
  std::string tail;
};

/// Reads an open file's sample with plain reads. An empty file is a sample of size 0;
/// false when the file cannot be read, or was cut short while it was.
bool ReadFileSample(const Windows::EntryHandle& file, FileSample& sample);

/// Whether the file holds the marker's bytes at its place, as far as the sample shows.
bool MarkerMatches(const FileSample& sample, const MarkerHint& marker);

}  // namespace Kyrowan::Identify
