#include "kyrpack/checker.h"

#include <filesystem>
#include <random>
#include <set>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "kyrpack/client_rules.h"
#include "kyrpack/packer.h"
#include "kyrpack/pip_digests.h"
#include "kyrpack/signer.h"
#include "package/manifest.h"
#include "package/package_header.h"
#include "platform/file_system.h"
#include "platform/signature_checks.h"
#include "platform/text.h"
#include "platform/zip_archive_reader.h"

namespace Kyrowan::Kyrpack {

namespace fs = std::filesystem;
using Windows::FromUtf8;

namespace {

/// A temporary folder removed with everything in it when this goes away.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::random_device random;
    std::error_code code;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      fs::path candidate = fs::temp_directory_path(code) / ("kyrpack-" + std::to_string(random()));
      if (!code && fs::create_directory(candidate, code) && !code) path_ = candidate;
    }
  }
  ~TemporaryFolder() {
    std::error_code code;
    if (!path_.empty()) fs::remove_all(path_, code);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

/// A package file read whole, its header checked and its archive unpacked into a temporary folder.
struct OpenedPackage {
  std::string bytes;
  PackageFileHeader header;
  TemporaryFolder folder;
  std::string name;  ///< the archive's one top folder
  fs::path filesFolder;
  std::string manifest;
};

std::string HeaderFault(const std::string& bytes) {
  if (bytes.size() < kPackageHeaderSize) return "it is shorter than the 13-byte header";
  const auto format = static_cast<unsigned char>(bytes[0]);
  if (format < 1 || format > 3) return "its format byte is " + std::to_string(format) + ", not 1, 2 or 3";
  return "its payload and signature lengths do not match its size";
}

bool FindTopFolder(OpenedPackage& package, std::string& error) {
  std::error_code code;
  std::vector<fs::path> top;
  for (const auto& item : fs::directory_iterator(package.folder.Path() / "unpacked", code)) top.push_back(item.path());
  if (code || top.size() != 1 || !fs::is_directory(top.front())) {
    error = "the archive does not hold exactly one top folder";
    return false;
  }
  package.name = top.front().filename().string();
  package.filesFolder = top.front();
  if (!ReadWholeFile((package.filesFolder / "manifest.json").string(), package.manifest)) {
    error = "the archive holds no " + package.name + "/manifest.json";
    return false;
  }
  return true;
}

// `path` only names the package in messages.
bool CheckHeader(const std::string& path, OpenedPackage& package, std::string& error) {
  return CheckPackageHeader(package.bytes, path, error) &&
         ReadPackageHeader(package.bytes.data(), static_cast<std::int64_t>(package.bytes.size()), package.header);
}

bool ReadPackage(const std::string& path, OpenedPackage& package, std::string& error) {
  if (!ReadWholeFile(path, package.bytes)) {
    error = "cannot read '" + path + "'";
    return false;
  }
  return CheckHeader(path, package, error);
}

// Unpacks with the client's own reader, so an archive it would refuse is refused here too.
bool UnpackPackage(OpenedPackage& package, std::string& error) {
  if (package.folder.Path().empty()) {
    error = "cannot make a temporary folder";
    return false;
  }
  const fs::path zipPath = package.folder.Path() / "payload.zip";
  const std::string_view payload(package.bytes.data() + kPackageHeaderSize, package.header.payloadLength);
  if (!Windows::WriteNewFile(FromUtf8(zipPath.string()), payload)) {
    error = "cannot write a temporary copy of the archive";
    return false;
  }
  Windows::ZipArchiveReader reader(FromUtf8(zipPath.string()), FromUtf8((package.folder.Path() / "unpacked").string()));
  if (!reader.Open() || !reader.ExtractAll()) {
    error = "the archive cannot be unpacked: it is damaged, or an entry is a link or leads outside its folder";
    return false;
  }
  return FindTopFolder(package, error);
}

// The keys tell the records apart: only a decryptor has "module", only a runtime lacks "runtime".
PackageKind KindOf(const nlohmann::json& manifest) {
  if (manifest.contains("module")) return PackageKind::Decryptor;
  return manifest.contains("runtime") ? PackageKind::Library : PackageKind::Runtime;
}

std::set<std::string> ArchiveFiles(const fs::path& root) {
  std::set<std::string> names;
  std::error_code code;
  for (fs::recursive_directory_iterator walk(root, code), end; !code && walk != end; walk.increment(code))
    if (walk->is_regular_file()) names.insert(walk->path().lexically_relative(root).generic_string());
  return names;
}

void FillFacts(const PkgInfo_s& info, PackFacts& facts) {
  facts.kind = PackageKind::Decryptor;
  facts.runtimeType = info.runtime.type;
  facts.runtimeVersion = info.runtime.version;
  facts.module = info.module;
  facts.run = info.run;
  facts.help = info.help;
  facts.dependencies = info.dependencies;
}
void FillFacts(const LibPkgInfo_s& info, PackFacts& facts) {
  facts.kind = PackageKind::Library;
  facts.runtimeType = info.runtime.type;
  facts.runtimeVersion = info.runtime.version;
  facts.dependencies = info.dependencies;
}
void FillFacts(const RuntimePkgInfo_s&, PackFacts& facts) { facts.kind = PackageKind::Runtime; }

// The rules kyrpack packs by, applied to a package made elsewhere: what the client refuses,
// and what pack refuses because no client could ever list or fetch it.
template <typename Info>
bool CheckClientRules(const Info& info, std::string& error) {
  PackFacts facts;
  FillFacts(info, facts);
  facts.name = info.name;
  facts.version = info.version;
  std::vector<std::string> fileNames;
  for (const FileEntry_s& file : info.files) fileNames.push_back(file.name);
  error = ClientRefusal(facts, fileNames);
  return error.empty() && CheckFacts(facts, error);
}

template <typename Info>
bool VerifyRecord(const OpenedPackage& package, const std::vector<std::uint8_t>& key, std::string& report,
                  std::string& error, PackageIdentity* identity, std::string* warnings) {
  Info info;
  if (!ParseManifest(package.manifest.data(), package.manifest.size(), info)) {
    error = "the manifest does not parse (a key is missing or has the wrong type)";
    return false;
  }
  const std::string text = SignedText(info);
  const auto keySize = static_cast<std::uint32_t>(key.size());
  if (!Windows::VerifyBase64Signature(text.data(), static_cast<std::uint32_t>(text.size()), key.data(), keySize,
                                      info.signature)) {
    error = "the manifest signature does not match";
    return false;
  }
  if (info.name != package.name) {
    error = "the manifest names '" + info.name + "' but the archive folder is '" + package.name + "'";
    return false;
  }
  if (!IsComplete(info)) {
    error = "the manifest is incomplete (runtime type, name, version, entries or files missing)";
    return false;
  }
  if (!CheckClientRules(info, error)) return false;
  std::set<std::string> unlisted = ArchiveFiles(package.filesFolder);
  unlisted.erase("manifest.json");
  for (const FileEntry_s& file : info.files) {
    // The client accepts the manifest listing itself without a check; so does this.
    if (Windows::EqualsIgnoreCase(std::string_view(file.name), std::string_view("manifest.json"))) continue;
    const fs::path path = package.filesFolder / file.name;
    if (!Windows::VerifyFileSignatureWithKey(FromUtf8(path.string()), key.data(), keySize, file.signature)) {
      error = "the file '" + file.name + "' does not match its signature";
      return false;
    }
    unlisted.erase(file.name);
  }
  if (!unlisted.empty()) {
    error = "the archive holds '" + *unlisted.begin() + "', which the manifest does not list";
    return false;
  }
  PackFacts facts;
  FillFacts(info, facts);
  if (identity) *identity = {facts.kind, info.name, info.version};
  if (warnings) *warnings = UnhashedPipWarnings(facts.dependencies);
  report = "verified " + info.name + " " + info.version + ": header, archive signature, manifest signature and " +
           std::to_string(info.files.size()) + " file(s)";
  return true;
}

// The runtime by the name --runtime-type takes, with the number the manifest stores.
std::string RuntimeLine(const RuntimeRef_s& runtime) {
  std::string name = "unknown";
  for (const auto& [typeName, type] : kRuntimeTypesByName)
    if (type == runtime.type) name = typeName;
  return "runtime: " + name + " (type " + std::to_string(runtime.type) + "), version " + runtime.version + "\n";
}

std::string Describe(const PkgInfo_s& info) {
  return RuntimeLine(info.runtime) + "module: " + info.module + "\nrun: " + info.run + "\nhelp: " + info.help + "\n";
}
std::string Describe(const LibPkgInfo_s& info) { return RuntimeLine(info.runtime); }
std::string Describe(const RuntimePkgInfo_s&) { return {}; }

std::string DescribeDependencies(const std::vector<DependencyEntry_s>& dependencies) {
  std::string text;
  for (const auto& d : dependencies)
    text += "dependency: " + std::string(d.type == 1 ? "pip" : "lib") + ":" + d.name + ":" + d.version + "\n";
  return text;
}
std::string DescribeDependencies(const PkgInfo_s& info) { return DescribeDependencies(info.dependencies); }
std::string DescribeDependencies(const LibPkgInfo_s& info) { return DescribeDependencies(info.dependencies); }
std::string DescribeDependencies(const RuntimePkgInfo_s&) { return {}; }

template <typename Info>
bool DescribeRecord(const OpenedPackage& package, PackageKind kind, std::string& report, std::string& error) {
  Info info;
  if (!ParseManifest(package.manifest.data(), package.manifest.size(), info)) {
    error = "the manifest does not parse (a key is missing or has the wrong type)";
    return false;
  }
  report += "kind: " + std::string(KindName(kind)) + "\nname: " + info.name + "\nversion: " + info.version + "\n" +
            Describe(info) + DescribeDependencies(info);
  for (const FileEntry_s& file : info.files) report += "file: " + file.name + "\n";
  report += "manifest signature: " + std::string(info.signature.empty() ? "missing" : "present") + "\n";
  return true;
}

bool ParseJson(const std::string& text, nlohmann::json& value, std::string& error) {
  value = nlohmann::json::parse(text, nullptr, false);
  if (value.is_discarded() || !value.is_object()) {
    error = "the manifest is not a JSON object";
    return false;
  }
  return true;
}

}  // namespace

bool VerifyPackage(const std::string& packagePath, const std::string& publicKeyPath, std::string& report,
                   std::string& error, PackageIdentity* identity, std::string* warnings) {
  std::string bytes;
  if (!ReadWholeFile(packagePath, bytes)) {
    error = "cannot read '" + packagePath + "'";
    return false;
  }
  return VerifyPackageBytes(std::move(bytes), packagePath, publicKeyPath, report, error, identity, warnings);
}

bool VerifyPackageBytes(std::string bytes, const std::string& packagePath, const std::string& publicKeyPath,
                        std::string& report, std::string& error, PackageIdentity* identity,
                        std::string* warnings) {
  std::vector<std::uint8_t> key;
  if (!ReadPublicKeyBlob(publicKeyPath, key, error)) return false;
  const auto keySize = static_cast<std::uint32_t>(key.size());
  OpenedPackage package;
  package.bytes = std::move(bytes);
  if (!CheckHeader(packagePath, package, error)) return false;
  const PackageFileHeader& header = package.header;
  // The archive is trusted before it is unpacked, as the client does.
  const char* payload = package.bytes.data() + kPackageHeaderSize;
  if (!Windows::VerifyRsaSha1(payload, static_cast<std::uint32_t>(header.payloadLength), key.data(), keySize,
                              reinterpret_cast<const std::uint8_t*>(payload + header.payloadLength),
                              header.signatureLength)) {
    error = "the archive signature does not match this public key";
    return false;
  }
  nlohmann::json manifest;
  if (!UnpackPackage(package, error) || !ParseJson(package.manifest, manifest, error)) return false;
  switch (KindOf(manifest)) {
    case PackageKind::Decryptor: return VerifyRecord<PkgInfo_s>(package, key, report, error, identity, warnings);
    case PackageKind::Library: return VerifyRecord<LibPkgInfo_s>(package, key, report, error, identity, warnings);
    case PackageKind::Runtime: return VerifyRecord<RuntimePkgInfo_s>(package, key, report, error, identity, warnings);
  }
  return false;
}

bool CheckPackageHeader(const std::string& bytes, const std::string& packagePath, std::string& error) {
  PackageFileHeader header;
  if (ReadPackageHeader(bytes.data(), static_cast<std::int64_t>(bytes.size()), header)) return true;
  error = "'" + packagePath + "' is not a package file: " + HeaderFault(bytes);
  return false;
}

bool InspectPackage(const std::string& packagePath, std::string& report, std::string& error) {
  OpenedPackage package;
  nlohmann::json manifest;
  if (!ReadPackage(packagePath, package, error) || !UnpackPackage(package, error) ||
      !ParseJson(package.manifest, manifest, error))
    return false;
  report = "format: " + std::to_string(package.header.format) +
           "\npayload: " + std::to_string(package.header.payloadLength) + " bytes" +
           "\nsignature: " + std::to_string(package.header.signatureLength) + " bytes\n";
  const PackageKind kind = KindOf(manifest);
  switch (kind) {
    case PackageKind::Decryptor: return DescribeRecord<PkgInfo_s>(package, kind, report, error);
    case PackageKind::Library: return DescribeRecord<LibPkgInfo_s>(package, kind, report, error);
    case PackageKind::Runtime: return DescribeRecord<RuntimePkgInfo_s>(package, kind, report, error);
  }
  return false;
}

}  // namespace Kyrowan::Kyrpack
