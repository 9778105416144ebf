#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace Kyrowan::Kyrpack {

/// The length and lower-case hex SHA-256 of a file, read in pieces (a tree or an sdist may be
/// large); false when it cannot be read.
bool Sha256OfFile(const std::filesystem::path& path, std::uint64_t& length, std::string& hex);

}  // namespace Kyrowan::Kyrpack
