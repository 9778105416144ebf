#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <minizip/unzip.h>

#include "platform/zip_span_io.h"

namespace Kyrowan::Windows {

/// One archive member as the listing found it.
struct ZipEntry {
  unz_file_info64 info{};
  std::string name;  ///< the stored name, bytes as stored
  unz64_file_pos position{};  ///< where the listing found it, so extraction goes straight there
};

/// Unpacks a zip archive below one target folder. The archive may lie inside a larger
/// file: `archiveLength` bytes from `archiveOffset` (-1: up to the end of the file).
class ZipArchiveReader {
 public:
  ZipArchiveReader(std::wstring archivePath, std::wstring targetFolder, std::int64_t archiveOffset = 0,
                   std::int64_t archiveLength = -1);
  ~ZipArchiveReader();
  ZipArchiveReader(const ZipArchiveReader&) = delete;
  ZipArchiveReader& operator=(const ZipArchiveReader&) = delete;

  /// Opens the archive; true if it is (already) open. False when the span lies outside the file.
  bool Open();
  /// Lists every entry in archive order; false for an unreadable listing or a bad name.
  bool ListEntries(std::vector<ZipEntry>& entries);
  /// Writes every entry below the target folder; refuses the whole archive, writing
  /// nothing, when any entry could land outside it or is not a plain file.
  bool ExtractAll();
  /// Writes one listed entry below the target folder, creating its parent folders.
  bool ExtractEntry(const ZipEntry& entry);
  /// Closes the archive and forgets both paths and the span.
  void Close();

  std::wstring archivePath;
  std::wstring targetFolder;
  std::int64_t archiveOffset = 0;
  std::int64_t archiveLength = -1;
  unzFile archive = nullptr;

 private:
  ZipSpanIo span_;  // read by the open archive
};

/// Whether an entry may be written below the target folder: a relative file name
/// without ".." components, root, drive or stream prefixes, and not a link or folder.
bool IsSafeZipEntry(const ZipEntry& entry);

}  // namespace Kyrowan::Windows
