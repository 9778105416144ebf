#pragma once

#include <string>
#include <vector>

namespace Kyrowan::Kyrpack {

class Signer;

/// What `kyrpack publish` is asked to place.
struct PublishRequest {
  std::string root;       ///< the static tree, created when missing
  std::string publicKey;  ///< the key every package must verify against
  std::vector<std::string> packages;
  bool replace = false;   ///< whether a published version may get different bytes
  const Signer* signer = nullptr;  ///< signs the identification index again, when given
};

/// Verifies every package, then places each at its download path in the tree and
/// rebuilds the derived files. Nothing is placed unless every package verifies and
/// none would replace a published version with different bytes (unless `replace`).
/// `report` names each file written.
bool PublishPackages(const PublishRequest& request, std::string& report, std::string& error);

/// Writes the package list, the latest-version texts and the "0.0.0" copies from the
/// versions the tree holds, and removes those whose package no longer has a version;
/// with a signer, also the identification index. Files already holding the right bytes
/// are left alone. A latest version is copied only when it is framed as a package file
/// and, given `publicKey`, verifies as the package its place names. Temporary files a
/// killed write left, untouched for ten minutes, are removed.
bool RebuildTree(const std::string& root, const std::string& publicKey, const Signer* signer, std::string& report,
                 std::string& error);

}  // namespace Kyrowan::Kyrpack
