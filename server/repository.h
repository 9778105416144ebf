#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace KyrServer {

/// The kinds of package a repository holds, each under its own folder.
enum class PackageKind { Decryptor, Library, Runtime };

/// Whether a name or version taken from a request path may name a folder:
/// not empty, no "..", no path separator, no NUL.
bool IsSafePathPart(std::string_view text);

/// A repository folder laid out as <root>/<kind folder>/<name>/<version>/<name>.kpkg,
/// the kind folders being "decryptors", "libraries" and "runtimes".
class Repository {
 public:
  explicit Repository(std::filesystem::path root);

  /// The catalogue JSON text listing every decryptor version that holds its package file.
  std::string CatalogueText() const;
  /// The highest version of that package holding its file; empty if there is none.
  std::string LatestVersion(PackageKind kind, const std::string& name) const;
  /// The package file of that version (an empty version or "0.0.0" means the latest); empty if there is none.
  std::filesystem::path PackageFile(PackageKind kind, const std::string& name, const std::string& version) const;

 private:
  /// Versions of a package that hold their package file, in ascending order.
  std::vector<std::string> Versions(PackageKind kind, const std::string& name) const;
  std::filesystem::path FileOf(PackageKind kind, const std::string& name, const std::string& version) const;

  std::filesystem::path root_;
};

}  // namespace KyrServer
