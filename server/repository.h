#pragma once

#include <filesystem>
#include <string>

#include "kyrpack/tree_layout.h"

namespace KyrServer {

using Kyrowan::Tree::IsSafePathPart;
using Kyrowan::Tree::PackageKind;

/// A published tree (made by `kyrpack publish`) whose file paths are the request paths.
/// Every file answering a request is found by path alone; nothing is listed or sorted here.
class Repository {
 public:
  explicit Repository(std::filesystem::path root);

  /// The package list file.
  std::filesystem::path ListFile() const;
  /// The signed identification index.
  std::filesystem::path IdentifyFile() const;
  /// The latest version text of a decryptor; empty for an unsafe name.
  std::filesystem::path LatestVersionFile(const std::string& name) const;
  /// The package file of that version (an empty version or "0.0.0" means the latest);
  /// empty for an unsafe name or version.
  std::filesystem::path PackageFile(PackageKind kind, const std::string& name, const std::string& version) const;
  /// The signed metadata file a request path names (the snapshot, or a root by its
  /// version number); empty for any other path.
  std::filesystem::path TrustFile(const std::string& requestPath) const;
  /// The real path of `file` when it is a regular file of the tree, reached through no
  /// link that leads out of the folder; empty for anything else (a folder, a missing file).
  std::filesystem::path Servable(const std::filesystem::path& file) const;
  /// Why the folder cannot be served as a tree: it holds the package folders of the
  /// layout before trees ("decryptors", "libraries", "runtimes") and no tree. Empty if it can.
  std::string LayoutProblem() const;

 private:
  std::filesystem::path root_;
};

}  // namespace KyrServer
