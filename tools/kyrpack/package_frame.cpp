#include "kyrpack/package_frame.h"

namespace Kyrowan::Kyrpack {

std::string PackageFileBytes(const std::string& payload, const std::vector<std::uint8_t>& signature) {
  std::string bytes;
  bytes.reserve(13 + payload.size() + signature.size());
  bytes.push_back(1);  // format
  for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>((std::uint64_t{payload.size()} >> (8 * i)) & 0xFF));
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((std::uint64_t{signature.size()} >> (8 * i)) & 0xFF));
  bytes += payload;
  bytes.append(signature.begin(), signature.end());
  return bytes;
}

}  // namespace Kyrowan::Kyrpack
