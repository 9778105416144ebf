#pragma once

// What each OS supplies under the portable mapped-file code. Included only by the
// mapped_file*.cpp files.

#include <cstdint>

#include "platform/mapped_file.h"

namespace Kyrowan::Windows {

/// True for a handle of an open file.
bool IsOpenFile(FileHandle file);
/// The current length of an open file.
bool FileLength(FileHandle file, std::int64_t& length);
/// Maps `span` bytes from `alignedOffset` (a multiple of MappingGranularity), read-only;
/// null on failure. `mapping` receives the OS's mapping object, if it has one.
const void* MapAlignedView(FileHandle file, std::int64_t fileLength, std::int64_t alignedOffset, std::int64_t span,
                           FileHandle* mapping);
/// Closes a handle OpenUnmapped produced; kInvalidFileHandle is ignored.
void CloseFile(FileHandle file);

}  // namespace Kyrowan::Windows
