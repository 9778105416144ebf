#pragma once

#include <map>
#include <string>
#include <vector>

#include "kyrpack/package_frame.h"
#include "package/manifest.h"
#include "protocol/server_protocol.h"

namespace Kyrowan::Kyrpack {

class Signer;

/// The three kinds of package a publisher makes.
enum class PackageKind { Decryptor, Library, Runtime };

/// "decryptor", "library" or "runtime", as the command line and reports name the kind.
const char* KindName(PackageKind kind);

/// Everything about a package that is not in its folder.
/// The runtime types by the names the command line takes, with the numbers manifests store.
inline const std::map<std::string, int> kRuntimeTypesByName = {{"none", 0}, {"python", 1}, {"native", 2}};

struct PackFacts {
  PackageKind kind = PackageKind::Decryptor;
  std::string name;
  std::string version;
  int runtimeType = 0;  ///< 0 none, 1 python, 2 native
  std::string runtimeVersion = kLatestVersion;
  std::string module;
  std::string run;
  std::string help;
  std::vector<DependencyEntry_s> dependencies;
};

/// Whether `text` may name a package: lower-case letters, digits, '.', '_' and '-', not "." and no "..".
bool IsNameText(const std::string& text);

/// Whether `text` is numbers joined by single dots, as every version of a package is.
bool IsVersionText(const std::string& text);

/// Whether `text` is UTF-8, as every text a JSON file of the tree holds must be.
bool IsUtf8Text(const std::string& text);

/// Whether the facts make a package the client will accept; `error` says why not.
bool CheckFacts(const PackFacts& facts, std::string& error);

/// Packs every file below `folder` with a signed manifest into a signed package file at `outPath`.
bool PackFolder(const PackFacts& facts, const std::string& folder, const Signer& signer, const std::string& outPath,
                std::string& error);


/// Signs `payload` and makes the package file around it; `error` says why it cannot.
bool SignPackageFile(const std::string& payload, const Signer& signer, std::string& bytes, std::string& error);

}  // namespace Kyrowan::Kyrpack
