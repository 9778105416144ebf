#pragma once

#include <cstddef>
#include <cstdint>

// The package file's header alone: what the publisher's tools read without the
// client's embedded key.
namespace Kyrowan {

/// The first 13 bytes of a package file, little-endian: format, payload length P, signature length S.
struct PackageFileHeader {
  std::uint8_t format = 0;
  std::uint64_t payloadLength = 0;
  std::uint32_t signatureLength = 0;
};

/// Size of the header on disk.
inline constexpr std::size_t kPackageHeaderSize = 13;

/// Reads and checks the header of a whole package file of `fileSize` bytes: format 1-3,
/// P and S not 0, S < P, P below 4 GiB, and the file exactly 13 + P + S bytes long.
bool ReadPackageHeader(const char* file, std::int64_t fileSize, PackageFileHeader& header);

}  // namespace Kyrowan
