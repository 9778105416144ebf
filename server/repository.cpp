#include "repository.h"

#include <algorithm>
#include <chrono>
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

// A change this close to a build may share its modification time with a later one on
// file systems that keep coarse times; such a build is not trusted.
constexpr std::chrono::seconds kSettleTime{2};

// A folder that cannot be read counts as modified at the earliest time.
std::filesystem::file_time_type ModifiedAt(const std::filesystem::path& folder) {
  std::error_code error;
  const auto time = std::filesystem::last_write_time(folder, error);
  return error ? std::filesystem::file_time_type::min() : time;
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

std::vector<std::string> Repository::Versions(PackageKind kind, const std::string& name,
                                              std::vector<FolderStamp>* stamps) const {
  std::vector<std::string> versions;
  if (!IsSafePathPart(name)) return versions;
  const auto folder = root_ / KindFolder(kind) / name;
  // Each folder is stamped before it is read, so a change made meanwhile shows at the next check.
  if (stamps) stamps->push_back({folder, ModifiedAt(folder)});
  for (const auto& version : SafeSubfolders(folder)) {
    if (stamps) stamps->push_back({folder / version, ModifiedAt(folder / version)});
    std::error_code error;
    if (std::filesystem::is_regular_file(FileOf(kind, name, version), error)) versions.push_back(version);
  }
  Kyrowan::SortVersions(versions);
  return versions;
}

Repository::BuiltCatalogue Repository::BuildCatalogue() const {
  BuiltCatalogue built;
  const auto start = std::filesystem::file_time_type::clock::now();
  const auto decryptors = root_ / KindFolder(PackageKind::Decryptor);
  built.stamps = {{root_, ModifiedAt(root_)}, {decryptors, ModifiedAt(decryptors)}};
  Kyrowan::PackageCatalogue catalogue;
  // The list's own version: "0.0.0" would make clients show their local list instead.
  catalogue.version = "1.0.0";
  for (const auto& name : SafeSubfolders(decryptors)) {
    auto versions = Versions(PackageKind::Decryptor, name, &built.stamps);
    if (!versions.empty()) catalogue.packages.push_back({name, std::move(versions)});
  }
  Kyrowan::SerializeCatalogue(catalogue, built.text);
  built.settled = std::all_of(built.stamps.begin(), built.stamps.end(),
                              [start](const FolderStamp& stamp) { return stamp.time < start - kSettleTime; });
  return built;
}

std::string Repository::CatalogueText() const {
  std::lock_guard guard(catalogueMutex_);
  const auto& stamps = catalogue_.stamps;
  const bool unchanged = catalogue_.settled && std::all_of(stamps.begin(), stamps.end(), [](const FolderStamp& stamp) {
                           return ModifiedAt(stamp.folder) == stamp.time;
                         });
  if (!unchanged) {
    catalogue_ = BuildCatalogue();
    ++catalogueBuilds_;
  }
  return catalogue_.text;
}

std::size_t Repository::CatalogueBuilds() const {
  std::lock_guard guard(catalogueMutex_);
  return catalogueBuilds_;
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
