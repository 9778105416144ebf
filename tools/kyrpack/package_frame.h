#pragma once

// The frame of a package file, apart from the signer so that builds without the
// publisher's OpenSSL (the Windows tests) can frame packages too.

#include <cstdint>
#include <string>
#include <vector>

namespace Kyrowan::Kyrpack {

/// The package file bytes: the 13-byte header, the payload, then the stored signature.
std::string PackageFileBytes(const std::string& payload, const std::vector<std::uint8_t>& signature);

}  // namespace Kyrowan::Kyrpack
