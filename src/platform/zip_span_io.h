#pragma once

#include <cstdint>

#include <minizip/ioapi.h>

namespace Kyrowan::Windows {

/// A stretch of a file shown to the zip reader as a file of its own: `length` bytes
/// from `offset`, so an archive embedded in a larger file is read where it lies.
struct ZipSpanIo {
  zlib_filefunc64_def platform{};  ///< the platform's own file functions
  std::uint64_t offset = 0;
  std::int64_t length = -1;  ///< -1: up to the end of the file
  voidpf stream = nullptr;   ///< the platform's open file, while the archive is open
  std::uint64_t position = 0;
  std::uint64_t streamAt = UINT64_MAX;  ///< where the platform's file stands, when known
};

/// Fills `functions` to read through `span`, which must outlive the archive opened with them.
/// Opening fails when the span does not lie within the file.
void FillSpanFileFunctions(ZipSpanIo& span, zlib_filefunc64_def& functions);

}  // namespace Kyrowan::Windows
