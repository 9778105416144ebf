#include "repository.h"

#include <algorithm>
#include <system_error>

#include "catalogue/package_catalogue.h"
#include "catalogue/version.h"

namespace KyrServer {

namespace {

const char* KindFolder(PackageKind kind) {
  switch (kind) {
    case PackageKind::Decryptor: return "decryptors";
    case PackageKind::Library: return "libraries";
    case PackageKind::Runtime: return "runtimes";
  }
  return "";
}

// Names of the sub-folders of `folder` that are safe to serve, sorted; none if it cannot be read.
std::vector<std::string> SafeSubfolders(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (IsSafePathPart(name) && it->is_directory(error)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

bool IsSafePathPart(std::string_view text) {
  return !text.empty() && text.find("..") == std::string_view::npos &&
         text.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

Repository::Repository(std::filesystem::path root) : root_(std::move(root)) {}

std::filesystem::path Repository::FileOf(PackageKind kind, const std::string& name, const std::string& version) const {
  return root_ / KindFolder(kind) / name / version / (name + ".kpkg");
}

std::vector<std::string> Repository::Versions(PackageKind kind, const std::string& name) const {
  std::vector<std::string> versions;
  if (!IsSafePathPart(name)) return versions;
  for (const auto& version : SafeSubfolders(root_ / KindFolder(kind) / name)) {
    std::error_code error;
    if (std::filesystem::is_regular_file(FileOf(kind, name, version), error)) versions.push_back(version);
  }
  Kyrowan::SortVersions(versions);
  return versions;
}

std::string Repository::CatalogueText() const {
  Kyrowan::PackageCatalogue catalogue;
  // The list's own version: "0.0.0" would make clients show their local list instead.
  catalogue.version = "1.0.0";
  for (const auto& name : SafeSubfolders(root_ / KindFolder(PackageKind::Decryptor))) {
    auto versions = Versions(PackageKind::Decryptor, name);
    if (!versions.empty()) catalogue.packages.push_back({name, std::move(versions)});
  }
  std::string text;
  Kyrowan::SerializeCatalogue(catalogue, text);
  return text;
}

std::string Repository::LatestVersion(PackageKind kind, const std::string& name) const {
  const auto versions = Versions(kind, name);
  return versions.empty() ? std::string() : versions.back();
}

std::filesystem::path Repository::PackageFile(PackageKind kind, const std::string& name,
                                              const std::string& version) const {
  // Clients ask for a library or runtime "of any version" as "0.0.0": the highest one held.
  const bool latest = version.empty() || version == Kyrowan::kLatestVersion;
  const std::string chosen = latest ? LatestVersion(kind, name) : version;
  if (!IsSafePathPart(name) || !IsSafePathPart(chosen)) return {};
  const auto file = FileOf(kind, name, chosen);
  std::error_code error;
  return std::filesystem::is_regular_file(file, error) ? file : std::filesystem::path();
}

}  // namespace KyrServer
