#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

/// Reads a file's sample, read-only. An empty file is a sample of size 0; false
/// when the file cannot be opened or read.
bool ReadFileSample(const std::wstring& path, FileSample& sample);

/// Whether the file holds the marker's bytes at its place, as far as the sample shows.
bool MarkerMatches(const FileSample& sample, const MarkerHint& marker);

}  // namespace Kyrowan::Identify
