#include "package/package_header.h"

#include "protocol/server_protocol.h"

namespace Kyrowan {

namespace {

std::uint64_t ReadLittleEndian(const char* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes[i]);
  return value;
}

}  // namespace

bool ReadPackageHeader(const char* file, std::int64_t fileSize, PackageFileHeader& header) {
  if (file == nullptr || fileSize < static_cast<std::int64_t>(kPackageHeaderSize)) return false;
  PackageFileHeader read;
  read.format = static_cast<std::uint8_t>(file[0]);
  read.payloadLength = ReadLittleEndian(file + 1, 8);
  read.signatureLength = static_cast<std::uint32_t>(ReadLittleEndian(file + 9, 4));
  if (read.format < 1 || read.format > 3) return false;
  // Tested before any sum, so 13 + P + S cannot overflow. The signature check counts the
  // payload in 32 bits: a longer one would be checked only in part and unpacked whole.
  if (read.payloadLength == 0 || read.payloadLength > Protocol::kMaxPayloadBytes) return false;
  if (read.signatureLength == 0 || read.signatureLength >= read.payloadLength) return false;
  const std::uint64_t size = static_cast<std::uint64_t>(fileSize);
  if (kPackageHeaderSize + read.payloadLength + read.signatureLength != size) return false;
  if (read.payloadLength >= size) return false;
  header = read;
  return true;
}

}  // namespace Kyrowan
