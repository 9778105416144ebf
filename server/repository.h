#pragma once

#include <cstddef>
#include <filesystem>
#include <mutex>
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

  /// The catalogue JSON text listing every decryptor version that holds its package file;
  /// built again only when a folder it was read from has changed.
  std::string CatalogueText() const;
  /// How many times the catalogue text was built.
  std::size_t CatalogueBuilds() const;
  /// The highest version of that package holding its file; empty if there is none.
  std::string LatestVersion(PackageKind kind, const std::string& name) const;
  /// The package file of that version (an empty version or "0.0.0" means the latest); empty if there is none.
  std::filesystem::path PackageFile(PackageKind kind, const std::string& name, const std::string& version) const;

 private:
  /// A folder and its modification time when it was read.
  struct FolderStamp {
    std::filesystem::path folder;
    std::filesystem::file_time_type time;
  };
  /// A built catalogue text and the folders it was read from.
  struct BuiltCatalogue {
    std::string text;
    std::vector<FolderStamp> stamps;
    bool settled = false;  ///< no folder changed so recently that another change could share its time
  };

  /// Versions of a package that hold their package file, in ascending order; the folders
  /// read are added to `stamps` when given.
  std::vector<std::string> Versions(PackageKind kind, const std::string& name,
                                    std::vector<FolderStamp>* stamps = nullptr) const;
  std::filesystem::path FileOf(PackageKind kind, const std::string& name, const std::string& version) const;
  BuiltCatalogue BuildCatalogue() const;

  std::filesystem::path root_;
  mutable std::mutex catalogueMutex_;
  mutable BuiltCatalogue catalogue_;
  mutable std::size_t catalogueBuilds_ = 0;
};

}  // namespace KyrServer
