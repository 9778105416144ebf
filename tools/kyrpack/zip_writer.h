#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Kyrowan::Kyrpack {

/// Writes a zip archive entry by entry, recording Unix modes the client restores.
class ZipWriter {
 public:
  ZipWriter() = default;
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  /// Creates (or replaces) the archive file.
  bool Open(const std::string& path);
  /// Adds one deflated entry; `unixMode` is a full st_mode (type and permission bits).
  bool AddEntry(const std::string& name, std::string_view bytes, std::uint32_t unixMode = 0100644);
  /// Writes the central directory; false if the archive could not be completed.
  bool Close();

 private:
  void* zip_ = nullptr;  ///< zipFile
};

}  // namespace Kyrowan::Kyrpack
