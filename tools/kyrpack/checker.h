#pragma once

#include <string>

namespace Kyrowan::Kyrpack {

/// Checks a package file the way the client will: header, payload signature,
/// manifest signature and completeness, and every file against its signature.
/// `report` says what was verified; `error` why it was refused.
bool VerifyPackage(const std::string& packagePath, const std::string& publicKeyPath, std::string& report,
                   std::string& error);

/// Describes the header and the manifest of a package file without checking signatures.
bool InspectPackage(const std::string& packagePath, std::string& report, std::string& error);

}  // namespace Kyrowan::Kyrpack
