#include "kyrpack/publisher.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <system_error>

#include "catalogue/package_catalogue.h"
#include "catalogue/version.h"
#include "kyrpack/checker.h"
#include "kyrpack/identify_index.h"
#include "kyrpack/signer.h"
#include "kyrpack/tree_files.h"
#include "kyrpack/tree_layout.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace Kyrowan::Kyrpack {

namespace {

namespace fs = std::filesystem;
using Windows::FromUtf8;

constexpr PackageKind kKinds[] = {PackageKind::Decryptor, PackageKind::Library, PackageKind::Runtime};

void RemoveFile(const fs::path& root, const std::string& relative, std::string& report) {
  std::error_code code;
  if (fs::remove(root / relative, code)) report += "removed " + relative + "\n";
}

// Entries of `folder` whose names pass `keep`, sorted; none when it cannot be read.
template <typename Keep>
std::vector<std::string> Entries(const fs::path& folder, Keep keep) {
  std::vector<std::string> names;
  std::error_code code;
  for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code))
    if (keep(*it)) names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> PackageNames(const fs::path& root, PackageKind kind) {
  return Entries(root / Tree::DownloadRoot(kind), [](const fs::directory_entry& entry) {
    std::error_code code;
    return Tree::IsSafePathPart(entry.path().filename().string()) && entry.is_directory(code);
  });
}

// The versions a package folder holds, ascending: the "0.0.0" copy and temporaries are none.
std::vector<std::string> HeldVersions(const fs::path& folder) {
  auto versions = Entries(folder, [](const fs::directory_entry& entry) {
    std::error_code code;
    const std::string name = entry.path().filename().string();
    return IsVersionText(name) && name != kLatestVersion && entry.is_regular_file(code);
  });
  SortVersions(versions);
  return versions;
}

// A killed publish leaves its temporary copies behind; one untouched this long has no writer left.
constexpr auto kStaleAfter = std::chrono::minutes(10);

void RemoveStaleTemporaries(const fs::path& root, std::string& report) {
  const auto before = fs::file_time_type::clock::now() - kStaleAfter;
  std::vector<fs::path> stale;
  std::error_code code;
  for (fs::recursive_directory_iterator walk(root, code), end; !code && walk != end; walk.increment(code)) {
    std::error_code kind;
    if (walk->is_regular_file(kind) && Windows::IsTemporaryCopyName(FromUtf8(walk->path().filename().string())) &&
        walk->last_write_time(kind) < before && !kind)
      stale.push_back(walk->path());
  }
  for (const fs::path& path : stale) RemoveFile(root, path.lexically_relative(root).generic_string(), report);
}

// Only a file that holds the package it stands for may become the copy every client fetches
// first: its framing always, and with a public key everything verify checks.
bool CheckLatestCopy(const fs::path& root, const std::string& relative, const std::string& bytes,
                     const PackageIdentity& expected, const std::string& publicKey, std::string& error) {
  const std::string path = (root / relative).string();
  PackageIdentity identity = expected;
  std::string ignored;
  const bool sound = publicKey.empty() ? CheckPackageHeader(bytes, path, error)
                                       : VerifyPackageBytes(bytes, path, publicKey, ignored, error, &identity);
  if (sound && identity == expected) return true;
  if (sound) error = "'" + path + "' holds " + KindName(identity.kind) + " " + identity.name + " " + identity.version;
  error = "not copied to " + std::string(kLatestVersion) + ": " + error;
  return false;
}

// The "0.0.0" copy of each package's latest version; the decryptors' versions go to `catalogue`.
bool RebuildLatestDownloads(const fs::path& root, const std::string& publicKey, PackageCatalogue& catalogue,
                            std::string& report, std::string& error) {
  for (const PackageKind kind : kKinds) {
    for (const std::string& name : PackageNames(root, kind)) {
      const std::string latest = Tree::DownloadPath(kind, name, kLatestVersion);
      auto versions = HeldVersions(root / Tree::DownloadRoot(kind) / name);
      if (versions.empty()) {
        RemoveFile(root, latest, report);
        continue;
      }
      std::string bytes;
      const std::string newest = Tree::DownloadPath(kind, name, versions.back());
      if (!ReadWholeFile((root / newest).string(), bytes)) {
        error = "cannot read '" + (root / newest).string() + "'";
        return false;
      }
      std::string current;
      if (!(ReadWholeFile((root / latest).string(), current) && current == bytes) &&
          !CheckLatestCopy(root, newest, bytes, {kind, name, versions.back()}, publicKey, error))
        return false;
      if (!PutTreeFile(root, latest, bytes, report, error)) return false;
      if (kind == PackageKind::Decryptor) catalogue.packages.push_back({name, std::move(versions)});
    }
  }
  return true;
}

bool Rebuild(const fs::path& root, const std::string& publicKey, const Signer* signer, std::string& report,
             std::string& error) {
  RemoveStaleTemporaries(root, report);
  PackageCatalogue catalogue;
  // The list's own version: "0.0.0" would make clients show their local list instead.
  catalogue.version = "1.0.0";
  if (!RebuildLatestDownloads(root, publicKey, catalogue, report, error)) return false;
  // A reader that finds a version in these files finds its download already in place.
  std::set<std::string> listed;
  for (const auto& entry : catalogue.packages) {
    if (!PutTreeFile(root, Tree::LatestVersionPath(entry.name), entry.versions.back(), report, error)) return false;
    listed.insert(entry.name);
  }
  std::string list;
  if (!SerializeCatalogue(catalogue, list) || !PutTreeFile(root, Tree::ListPath(), list, report, error)) {
    if (error.empty()) error = "cannot make the package list";
    return false;
  }
  const fs::path latestFolder = (root / Tree::LatestVersionPath("-")).parent_path();
  for (const std::string& name : Entries(latestFolder, [](const fs::directory_entry&) { return true; }))
    if (!listed.count(name)) RemoveFile(root, Tree::LatestVersionPath(name), report);
  // Last: which decryptors the index may name follows from the latest-version files.
  return UpdateIdentifyIndex(root, signer, report, error);
}

}  // namespace

bool RebuildTree(const std::string& root, const std::string& publicKey, const Signer* signer, std::string& report,
                 std::string& error) {
  report.clear();
  std::error_code code;
  if (!fs::is_directory(root, code)) {
    error = "'" + root + "' is not a folder";
    return false;
  }
  return Rebuild(root, publicKey, signer, report, error);
}

bool VerifyForPublishing(const PublishRequest& request, VerifiedPackages& verified, std::string& error) {
  // Each file is read once: the bytes verified are the bytes placed.
  for (const std::string& package : request.packages) {
    PackageIdentity identity;
    std::string bytes, report;
    if (!ReadWholeFile(package, bytes)) {
      error = "cannot read '" + package + "'";
      return false;
    }
    if (!VerifyPackageBytes(bytes, package, request.publicKey, report, error, &identity)) {
      error = package + ": " + error;
      return false;
    }
    const std::string target = Tree::DownloadPath(identity.kind, identity.name, identity.version);
    const auto earlier = std::find_if(verified.begin(), verified.end(),
                                      [&](const VerifiedPackage& other) { return other.target == target; });
    if (earlier == verified.end()) {
      const std::string what = std::string(KindName(identity.kind)) + " " + identity.name + " " + identity.version;
      verified.push_back({package, target, what, std::move(bytes)});
    } else if (earlier->bytes != bytes) {
      error = package + ": " + earlier->what + " is also given as '" + earlier->file + "' with different bytes";
      return false;
    }
  }
  return true;
}

bool PlacePackages(const PublishRequest& request, const VerifiedPackages& verified, std::string& report,
                   std::string& error) {
  report.clear();
  // Every target is compared before the tree changes at all.
  std::vector<const VerifiedPackage*> toWrite;
  for (const VerifiedPackage& package : verified) {
    std::string published;
    const bool held = ReadWholeFile((fs::path(request.root) / package.target).string(), published);
    if (held && published == package.bytes) {
      report += "already published: " + package.what + "\n";
      continue;
    }
    if (held && !request.replace) {
      error = package.file + ": " + package.what + " is already published with different bytes (--replace replaces it)";
      return false;
    }
    toWrite.push_back(&package);
  }
  if (!Windows::CreateFolderTree(FromUtf8(request.root))) {
    error = "cannot make the folder '" + request.root + "'";
    return false;
  }
  for (const VerifiedPackage* package : toWrite)
    if (!PutTreeFile(request.root, package->target, package->bytes, report, error)) return false;
  return Rebuild(request.root, request.publicKey, request.signer, report, error);
}

}  // namespace Kyrowan::Kyrpack
