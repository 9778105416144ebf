#include "kyrpack/packer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <nlohmann/json.hpp>

#include "kyrpack/client_rules.h"
#include "kyrpack/signer.h"
#include "kyrpack/zip_writer.h"
#include "protocol/server_protocol.h"

namespace Kyrowan::Kyrpack {

namespace fs = std::filesystem;

namespace {

constexpr char kManifestName[] = "manifest.json";
// The client cannot locate longer entry names.
constexpr std::size_t kMaxEntryName = 255;

/// One file of the folder, ready to be packed.
struct SourceFile {
  std::string name;  ///< relative, "/" between folders
  std::string bytes;
  std::uint32_t mode = 0100644;  ///< as recorded in the archive
};

// The client widens names byte by byte and splits at both slash kinds.
bool IsPortableFileName(const std::string& name) {
  for (char c : name)
    if (c < 0x20 || c > 0x7e || c == '\\' || c == ':') return false;
  return true;
}

// Unpacked files must never be writable by anyone but their owner: only the owner's
// execute bit survives, everything else is fixed.
std::uint32_t PackedMode(fs::perms permissions) {
  return (permissions & fs::perms::owner_exec) != fs::perms::none ? 0100755u : 0100644u;
}

bool CollectFile(const fs::directory_entry& item, const fs::path& root, std::vector<SourceFile>& files,
                 std::string& error) {
  const std::string name = item.path().lexically_relative(root).generic_string();
  if (item.is_symlink()) {
    error = "'" + name + "' is a symbolic link; the client refuses links, pack the file itself";
    return false;
  }
  if (item.is_directory()) return true;
  if (!item.is_regular_file()) {
    error = "'" + name + "' is not a regular file";
    return false;
  }
  if (name == kManifestName) return true;  // replaced by the manifest made here
  if (!IsPortableFileName(name)) {
    error = "'" + name + "': file names must be printable ASCII without '\\' or ':'";
    return false;
  }
  SourceFile file{name, {}, PackedMode(item.status().permissions())};
  if (!ReadWholeFile(item.path().string(), file.bytes)) {
    error = "cannot read '" + name + "'";
    return false;
  }
  if (file.bytes.empty()) {
    error = "'" + name + "' is empty; the client cannot verify an empty file";
    return false;
  }
  files.push_back(std::move(file));
  return true;
}

bool CollectFiles(const std::string& folder, const std::string& prefix, std::vector<SourceFile>& files,
                  std::string& error) {
  std::error_code code;
  if (!fs::is_directory(folder, code)) {
    error = "'" + folder + "' is not a folder";
    return false;
  }
  const fs::path root(folder);
  fs::recursive_directory_iterator walk(root, code), end;
  for (; !code && walk != end; walk.increment(code))
    if (!CollectFile(*walk, root, files, error)) return false;
  if (code) {
    error = "cannot read the folder '" + folder + "': " + code.message();
    return false;
  }
  if (files.empty()) {
    error = "'" + folder + "' holds no files to pack";
    return false;
  }
  std::sort(files.begin(), files.end(), [](const SourceFile& a, const SourceFile& b) { return a.name < b.name; });
  for (const SourceFile& file : files) {
    if (prefix.size() + file.name.size() > kMaxEntryName) {
      error = "'" + file.name + "': the path is too long for the client";
      return false;
    }
  }
  return true;
}

bool CheckAgainstFiles(const PackFacts& facts, const std::vector<SourceFile>& files, std::string& error) {
  std::vector<std::string> names;
  for (const SourceFile& file : files) names.push_back(file.name);
  error = ClientRefusal(facts, names);
  return error.empty();
}

void FillRecord(const PackFacts& facts, PkgInfo_s& info) {
  info.runtime = {facts.runtimeType, facts.runtimeVersion};
  info.module = facts.module;
  info.run = facts.run;
  info.help = facts.help;
  info.dependencies = facts.dependencies;
}

void FillRecord(const PackFacts& facts, LibPkgInfo_s& info) {
  info.runtime = {facts.runtimeType, kLatestVersion};  // the client reads a library's runtime version as "0.0.0"
  info.dependencies = facts.dependencies;
}

void FillRecord(const PackFacts&, RuntimePkgInfo_s&) {}

template <typename Info>
bool MakeManifest(const PackFacts& facts, const std::vector<SourceFile>& files, const Signer& signer,
                  std::string& manifest, std::string& error) {
  Info info;
  FillRecord(facts, info);
  info.name = facts.name;
  info.version = facts.version;
  for (const SourceFile& file : files) {
    FileEntry_s entry{file.name, {}};
    if (!signer.SignBase64(file.bytes.data(), file.bytes.size(), entry.signature)) {
      error = "could not sign '" + file.name + "'";
      return false;
    }
    info.files.push_back(std::move(entry));
  }
  const std::string signedText = SignedText(info);
  if (!signer.SignBase64(signedText.data(), signedText.size(), info.signature)) {
    error = "could not sign the manifest";
    return false;
  }
  manifest = nlohmann::json(info).dump(2) + "\n";
  return true;
}

bool MakeManifest(const PackFacts& facts, const std::vector<SourceFile>& files, const Signer& signer,
                  std::string& manifest, std::string& error) {
  switch (facts.kind) {
    case PackageKind::Decryptor: return MakeManifest<PkgInfo_s>(facts, files, signer, manifest, error);
    case PackageKind::Library: return MakeManifest<LibPkgInfo_s>(facts, files, signer, manifest, error);
    case PackageKind::Runtime: return MakeManifest<RuntimePkgInfo_s>(facts, files, signer, manifest, error);
  }
  return false;
}

bool MakeZip(const std::string& zipPath, const std::string& prefix, const std::vector<SourceFile>& files,
             const std::string& manifest, std::string& payload) {
  ZipWriter zip;
  bool written = zip.Open(zipPath) && zip.AddEntry(prefix + kManifestName, manifest, 0100644);
  for (const SourceFile& file : files) written = written && zip.AddEntry(prefix + file.name, file.bytes, file.mode);
  written = zip.Close() && written && ReadWholeFile(zipPath, payload);
  std::remove(zipPath.c_str());
  return written;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace

// Names become folder names on the client: keep them to one plain path component,
// in lower case as the client asks for them.
bool IsNameText(const std::string& text) {
  // The server refuses any request path holding "..", so such a name could never be fetched.
  if (text.empty() || text == "." || text.find("..") != std::string::npos) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
  });
}

bool IsVersionText(const std::string& text) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' ? text[i + 1] == '.' : (c < '0' || c > '9')) return false;
  }
  return true;
}

bool IsUtf8Text(const std::string& text) {
  try {
    static_cast<void>(nlohmann::json(text).dump());
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

bool CheckFacts(const PackFacts& facts, std::string& error) {
  const bool isRuntime = facts.kind == PackageKind::Runtime;
  if (!IsNameText(facts.name)) error = "the name must be lower-case letters, digits, '.', '_' or '-', without \"..\"";
  else if (!IsVersionText(facts.version) || facts.version == kLatestVersion)
    error = "the version must be numbers joined by dots, and not 0.0.0";
  else if (!IsVersionText(facts.runtimeVersion)) error = "the runtime version must be numbers joined by dots";
  else if (!isRuntime && facts.runtimeType != 1 && facts.runtimeType != 2)
    error = "a decryptor or library needs --runtime-type python or native";
  else if (isRuntime && (facts.runtimeType != 0 || !facts.dependencies.empty()))
    error = "a runtime package takes no runtime type and no dependencies";
  else if (facts.kind == PackageKind::Decryptor && (facts.module.empty() || facts.run.empty() || facts.help.empty()))
    error = "a decryptor needs --module, --run and --help";
  else if (facts.kind != PackageKind::Decryptor && (!facts.module.empty() || !facts.run.empty() || !facts.help.empty()))
    error = "only a decryptor takes --module, --run and --help";
  else if (!IsUtf8Text(facts.module) || !IsUtf8Text(facts.run) || !IsUtf8Text(facts.help))
    error = "--module, --run and --help must be UTF-8 text";
  else {
    for (const DependencyEntry_s& dependency : facts.dependencies) {
      if ((dependency.type != 1 && dependency.type != 2) || !IsNameText(dependency.name) ||
          !IsVersionText(dependency.version)) {
        error = "a dependency needs a type (pip or lib), a plain lower-case name and a version";
        return false;
      }
    }
    return true;
  }
  return false;
}

bool SignPackageFile(const std::string& payload, const Signer& signer, std::string& bytes, std::string& error) {
  if (payload.size() > Protocol::kMaxPayloadBytes) {
    error = "the payload is 4 GiB or larger; the client cannot check it";
    return false;
  }
  std::vector<std::uint8_t> signature;
  if (!signer.SignRaw(payload.data(), payload.size(), signature)) {
    error = "could not sign the payload";
    return false;
  }
  bytes = PackageFileBytes(payload, signature);
  return true;
}

bool PackFolder(const PackFacts& facts, const std::string& folder, const Signer& signer, const std::string& outPath,
                std::string& error) {
  if (!CheckFacts(facts, error)) return false;
  const std::string prefix = facts.name + "/";
  std::vector<SourceFile> files;
  std::string manifest;
  if (!CollectFiles(folder, prefix, files, error) || !CheckAgainstFiles(facts, files, error) ||
      !MakeManifest(facts, files, signer, manifest, error))
    return false;
  std::string payload;
  if (!MakeZip(outPath + ".zip", prefix, files, manifest, payload)) {
    error = "could not write the zip archive beside '" + outPath + "'";
    return false;
  }
  std::string bytes;
  if (!SignPackageFile(payload, signer, bytes, error)) return false;
  if (!WriteFile(outPath, bytes)) {
    error = "could not write '" + outPath + "'";
    return false;
  }
  return true;
}

const char* KindName(PackageKind kind) {
  switch (kind) {
    case PackageKind::Decryptor: return "decryptor";
    case PackageKind::Library: return "library";
    case PackageKind::Runtime: return "runtime";
  }
  return "";
}

}  // namespace Kyrowan::Kyrpack
