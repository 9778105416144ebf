#include "repository.h"

#include <algorithm>
#include <system_error>

#include "protocol/server_protocol.h"

namespace KyrServer {

namespace Tree = Kyrowan::Tree;

Repository::Repository(std::filesystem::path root) : root_(std::move(root)) {}

std::filesystem::path Repository::ListFile() const { return root_ / Tree::ListPath(); }

std::filesystem::path Repository::IdentifyFile() const { return root_ / Tree::IdentifyPath(); }

std::filesystem::path Repository::LatestVersionFile(const std::string& name) const {
  return IsSafePathPart(name) ? root_ / Tree::LatestVersionPath(name) : std::filesystem::path();
}

std::filesystem::path Repository::PackageFile(PackageKind kind, const std::string& name,
                                              const std::string& version) const {
  const std::string chosen = version.empty() ? Kyrowan::kLatestVersion : version;
  if (!IsSafePathPart(name) || !IsSafePathPart(chosen)) return {};
  return root_ / Tree::DownloadPath(kind, name, chosen);
}

std::filesystem::path Repository::TrustFile(const std::string& requestPath) const {
  namespace Protocol = Kyrowan::Protocol;
  const std::string_view path = requestPath;
  if (path == Protocol::kTrustSnapshotPath) return root_ / Protocol::TreeFilePath(path);
  if (!path.starts_with(Protocol::kTrustRootPrefix) || !path.ends_with(Protocol::kTrustRootSuffix)) return {};
  const std::string_view number =
      path.substr(Protocol::kTrustRootPrefix.size(),
                  path.size() - Protocol::kTrustRootPrefix.size() - Protocol::kTrustRootSuffix.size());
  // Only the form TrustRootPath writes: a version from 1, no leading zero, nothing else.
  const bool digits = !number.empty() && number.size() <= 19 && number.front() != '0' &&
                      std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
  return digits ? root_ / Protocol::TreeFilePath(path) : std::filesystem::path();
}

std::filesystem::path Repository::Servable(const std::filesystem::path& file) const {
  std::error_code error;
  if (file.empty()) return {};
  const auto root = std::filesystem::canonical(root_, error);
  const auto real = error ? std::filesystem::path() : std::filesystem::canonical(file, error);
  if (error || !std::filesystem::is_regular_file(real, error)) return {};
  const bool inside = std::mismatch(root.begin(), root.end(), real.begin(), real.end()).first == root.end();
  return inside ? real : std::filesystem::path();
}

std::string Repository::LayoutProblem() const {
  std::error_code error;
  if (std::filesystem::exists(root_ / "package", error)) return {};
  for (const char* old : {"decryptors", "libraries", "runtimes"}) {
    if (std::filesystem::is_directory(root_ / old, error))
      return "'" + root_.string() + "' holds package folders but no published tree; publish them into it with: " +
             "kyrpack publish --public KEY --repo " + root_.string() + " " + root_.string() + "/*/*/*/*.kpkg";
  }
  return {};
}

}  // namespace KyrServer
