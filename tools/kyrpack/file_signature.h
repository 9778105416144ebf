#pragma once

#include <string>

namespace Kyrowan::Kyrpack {

/// Writes to `signaturePath` the detached RSA-SHA256 signature of a whole file, big-endian,
/// so "openssl dgst -sha256 -verify" checks it as well.
bool SignFile(const std::string& path, const std::string& privateKeyPath, const std::string& signaturePath,
              std::string& error);

/// Checks such a signature against a PEM "RSA PUBLIC KEY"; false with `error` saying why.
bool VerifyFile(const std::string& path, const std::string& publicKeyPath, const std::string& signaturePath,
                std::string& error);

}  // namespace Kyrowan::Kyrpack
