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

/// One package file read and verified, to be placed at `target` in the tree.
struct VerifiedPackage {
  std::string file;    ///< as given
  std::string target;  ///< its download path in the tree
  std::string what;    ///< kind, name and version, as reports name it
  std::string bytes;   ///< the bytes verified, which are the bytes placed
};
using VerifiedPackages = std::vector<VerifiedPackage>;

/// Reads and verifies every package without looking at the tree; a package given twice is
/// one, unless its bytes differ.
bool VerifyForPublishing(const PublishRequest& request, VerifiedPackages& verified, std::string& error);

/// Places each verified package at its download path in the tree and rebuilds the derived
/// files. Nothing is placed if one would replace a published version with different bytes
/// (unless `replace`). `report` names each file written.
bool PlacePackages(const PublishRequest& request, const VerifiedPackages& verified, std::string& report,
                   std::string& error);

/// Writes the package list, the latest-version texts and the "0.0.0" copies from the
/// versions the tree holds, and removes those whose package no longer has a version;
/// with a signer, also the identification index. Files already holding the right bytes
/// are left alone. A latest version is copied only when it is framed as a package file
/// and, given `publicKey`, verifies as the package its place names. Temporary files a
/// killed write left, untouched for ten minutes, are removed.
bool RebuildTree(const std::string& root, const std::string& publicKey, const Signer* signer, std::string& report,
                 std::string& error);

}  // namespace Kyrowan::Kyrpack
