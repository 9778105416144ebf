#include "kyrpack/pip_digests.h"

#include <algorithm>
#include <array>

#include "kyrpack/file_digest.h"

namespace Kyrowan::Kyrpack {

namespace {

constexpr int kPipDependency = 1;

// The archive kinds pip installs from: wheels and source distributions.
bool IsPipArchiveName(const std::string& path) {
  static constexpr std::array<const char*, 3> kEndings = {".whl", ".tar.gz", ".zip"};
  return std::any_of(kEndings.begin(), kEndings.end(), [&](const std::string& ending) {
    return path.size() > ending.size() && path.ends_with(ending);
  });
}

// Its digest; false for a file that cannot be read or is empty (a digest of nothing pins nothing).
bool HashFile(const std::string& path, std::string& digest) {
  std::uint64_t length = 0;
  return Sha256OfFile(std::filesystem::path(std::u8string(path.begin(), path.end())), length, digest) && length > 0;
}

DependencyEntry_s* PipDependency(const std::string& name, std::vector<DependencyEntry_s>& dependencies) {
  const auto found = std::find_if(dependencies.begin(), dependencies.end(), [&](const DependencyEntry_s& d) {
    return d.type == kPipDependency && d.name == name;
  });
  return found == dependencies.end() ? nullptr : &*found;
}

bool RecordPipFile(const std::string& text, std::vector<DependencyEntry_s>& dependencies, std::string& error) {
  const auto equals = text.find('=');
  const std::string name = text.substr(0, equals), path = equals == std::string::npos ? "" : text.substr(equals + 1);
  const std::string given = "--pip-file '" + text + "'";
  DependencyEntry_s* dependency = PipDependency(name, dependencies);
  std::string digest;
  if (name.empty() || path.empty()) error = given + " is not NAME=PATH";
  else if (dependency == nullptr) error = given + ": no --dependency pip:" + name + ":VERSION is given";
  else if (!IsPipArchiveName(path)) error = given + ": pip installs a .whl, .tar.gz or .zip file";
  else if (!HashFile(path, digest)) error = given + ": cannot read the file, or it is empty";
  else {
    dependency->sha256.push_back(digest);
    return true;
  }
  return false;
}

}  // namespace

bool RecordPipDigests(const std::vector<std::string>& pipFiles, std::vector<DependencyEntry_s>& dependencies,
                      std::string& error) {
  for (const std::string& text : pipFiles)
    if (!RecordPipFile(text, dependencies, error)) return false;
  for (DependencyEntry_s& dependency : dependencies) {
    std::sort(dependency.sha256.begin(), dependency.sha256.end());
    dependency.sha256.erase(std::unique(dependency.sha256.begin(), dependency.sha256.end()), dependency.sha256.end());
  }
  return true;
}

std::string UnhashedPipWarnings(const std::vector<DependencyEntry_s>& dependencies) {
  std::string text;
  for (const DependencyEntry_s& d : dependencies) {
    if (d.type != kPipDependency || !d.sha256.empty()) continue;
    text += std::string(text.empty() ? "" : "\n") + "warning: the pip library " + d.name + " " + d.version +
            " has no SHA-256 digests: pip installs whatever file it finds (pack it with --pip-file " + d.name +
            "=FILE)";
  }
  return text;
}

}  // namespace Kyrowan::Kyrpack
