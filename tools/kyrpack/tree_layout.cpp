#include "kyrpack/tree_layout.h"

#include "protocol/server_protocol.h"

namespace Kyrowan::Tree {

namespace {

// A request path without its leading "/".
std::string Relative(std::string_view requestPath) { return std::string(requestPath.substr(1)); }

}  // namespace

std::string DownloadRoot(PackageKind kind) {
  switch (kind) {
    case PackageKind::Decryptor: return Relative(Protocol::kDecryptorDownloadPrefix);
    case PackageKind::Library: return Relative(Protocol::kLibraryDownloadPrefix);
    case PackageKind::Runtime: return Relative(Protocol::kRuntimeDownloadPrefix);
  }
  return "";
}

std::string ListPath() { return Relative(Protocol::kListPath); }

std::string IdentifyPath() { return Relative(Protocol::kIdentifyPath); }

std::string HintsSourcePath() { return "hints.json"; }

std::string LockPath() { return ".kyrpack.lock"; }

std::string LatestVersionPath(const std::string& name) { return Relative(Protocol::LatestVersionQueryPath(name)); }

std::string DownloadPath(PackageKind kind, const std::string& name, const std::string& version) {
  return DownloadRoot(kind) + name + "/" + version;
}

}  // namespace Kyrowan::Tree
