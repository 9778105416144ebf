#include "kyrpack/tree_layout.h"

namespace Kyrowan::Tree {

std::string DownloadRoot(PackageKind kind) {
  switch (kind) {
    case PackageKind::Decryptor: return "package/download/64/";
    case PackageKind::Library: return "library/download/64/";
    case PackageKind::Runtime: return "runtime/download/64/";
  }
  return "";
}

std::string ListPath() { return "package/list/0.0.0"; }

std::string IdentifyPath() { return "package/identify/0.0.0"; }

std::string HintsSourcePath() { return "hints.json"; }

std::string LatestVersionPath(const std::string& name) { return "package/query/latestver/64/" + name; }

std::string DownloadPath(PackageKind kind, const std::string& name, const std::string& version) {
  return DownloadRoot(kind) + name + "/" + version;
}

bool IsSafePathPart(std::string_view text) {
  return !text.empty() && text.find("..") == std::string_view::npos &&
         text.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

}  // namespace Kyrowan::Tree
