#pragma once

#include <string>

#include "kyrpack/packer.h"

namespace Kyrowan::Kyrpack {

/// What a verified package is, as its signed manifest says.
struct PackageIdentity {
  PackageKind kind = PackageKind::Decryptor;
  std::string name;
  std::string version;
  bool operator==(const PackageIdentity&) const = default;
};

/// Checks a package file the way the client will: header, payload signature,
/// manifest signature and completeness, and every file against its signature.
/// `report` says what was verified; `error` why it was refused; `identity`, when
/// given, receives what the package is; `warnings`, what it holds that the client installs unchecked.
bool VerifyPackage(const std::string& packagePath, const std::string& publicKeyPath, std::string& report,
                   std::string& error, PackageIdentity* identity = nullptr, std::string* warnings = nullptr);

/// The same check of a package file's bytes read already; `packagePath` names it in messages.
bool VerifyPackageBytes(std::string bytes, const std::string& packagePath, const std::string& publicKeyPath,
                        std::string& report, std::string& error, PackageIdentity* identity,
                        std::string* warnings = nullptr);

/// Whether `bytes` are framed as a package file: a known format and a header whose
/// lengths add up to the size, as a truncated or padded copy's do not.
bool CheckPackageHeader(const std::string& bytes, const std::string& packagePath, std::string& error);

/// Describes the header and the manifest of a package file without checking signatures.
bool InspectPackage(const std::string& packagePath, std::string& report, std::string& error);

}  // namespace Kyrowan::Kyrpack
