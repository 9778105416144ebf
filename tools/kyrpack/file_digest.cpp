#include "kyrpack/file_digest.h"

#include <fstream>
#include <vector>

#include "platform/trust_crypto.h"

namespace Kyrowan::Kyrpack {

bool Sha256OfFile(const std::filesystem::path& path, std::uint64_t& length, std::string& hex) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  Windows::Sha256Stream digest;
  std::vector<char> buffer(1 << 16);
  length = 0;
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    digest.Update(buffer.data(), static_cast<std::size_t>(in.gcount()));
    length += static_cast<std::uint64_t>(in.gcount());
  }
  if (in.bad()) return false;
  hex = digest.FinishHex();
  return !hex.empty();
}

}  // namespace Kyrowan::Kyrpack
