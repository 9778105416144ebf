#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace Kyrowan::Windows {

/// An open file as the platform names it (a descriptor on POSIX, a HANDLE on Windows).
using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFileHandle = -1;

/// Read-only view of a whole file: the only way the tool reads a file's bytes.
/// After a successful Open, `data` points at `fileSize` bytes until destruction.
class MappedFile {
 public:
  explicit MappedFile(std::wstring filePath);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  /// Maps the whole file; false for a missing, unreadable or empty file.
  bool Open();
  /// Opens the file and reads its size, mapping nothing: for files read with ReadWindows.
  /// False for a missing, unreadable or empty file. Reading leaves the file's access time
  /// alone wherever the system lets us ask for that.
  bool OpenUnmapped();

  /// Receives one window of a file's bytes; returns false to stop reading.
  using WindowVisitor = std::function<bool(const char* data, std::size_t size)>;
  /// Hands `length` bytes from `offset` to `visit` in order, through mapped windows
  /// each unmapped before the next: a large file never counts whole toward the
  /// process's resident memory. False when a window cannot be mapped or `visit` stops.
  bool ReadWindows(std::int64_t offset, std::int64_t length, const WindowVisitor& visit) const;

  bool mapped = false;
  bool empty = false;  ///< the file exists but has length 0
  std::wstring path;
  std::int64_t fileSize = 0;
  FileHandle file = kInvalidFileHandle;
  FileHandle mapping = kInvalidFileHandle;
  const void* viewBase = nullptr;
  std::size_t viewLength = 0;
  const char* data = nullptr;

 private:
  void Release();
};

/// Copies `length` bytes from `offset` of a file opened with OpenUnmapped into `out`.
bool ReadFileRange(const MappedFile& file, std::int64_t offset, std::int64_t length, std::string& out);

/// Maps `size` bytes of an open file from `offset` (-1: the last `size` bytes),
/// aligned down to the platform's granularity. Returns the address of byte
/// `offset`, or null with the outputs reset.
const char* MapFileRegion(FileHandle file, std::int64_t offset, std::int64_t size,
                          FileHandle* mapping, const void** viewBase, std::size_t* viewLength);

/// The most ReadWindows maps at once.
inline constexpr std::int64_t kReadWindowSize = 4 << 20;

/// Releases what MapFileRegion produced.
void UnmapFileRegion(FileHandle mapping, const void* viewBase, std::size_t viewLength);

/// The unit MapFileRegion aligns view offsets to.
std::int64_t MappingGranularity();

}  // namespace Kyrowan::Windows
