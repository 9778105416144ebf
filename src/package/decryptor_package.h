#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "package/generic_package_element.h"

namespace Kyrowan {

class TelemetryContext;

/// One decryption tool (kind 1): what -get, -run and -about work on.
class DecryptorPackage : public GenericPackageElement<PkgInfo_s> {
 public:
  /// Asked for as "0.0.0", the element takes the server's latest version.
  DecryptorPackage(const std::wstring& name, const std::wstring& version);
  ~DecryptorPackage() override;

  bool SetUpPaths() override;

  /// Adopts the server's latest version when asked for "0.0.0"; false keeps "0.0.0".
  bool ResolveLatestVersion();
  /// Takes `body`, the server's latest-version answer, as the version; a text
  /// that is no safe folder name is refused and "0.0.0" stays.
  bool AdoptLatestVersion(const std::string& body);
  /// Validates, registers the folders and calls the run (1) or help (2) entry.
  PkgResult_e CallEntry(std::uint32_t mode, std::int64_t& exitCode, const nlohmann::json& params);
  /// Runs the decryptor with the user's argument text, then reports the run.
  PkgResult_e Run(const std::wstring& args);
  /// Calls the decryptor's help entry.
  PkgResult_e About();

  const std::wstring& GetDataFilePath() const { return dataFilePath; }

 private:
  std::wstring dataFilePath;
  std::wstring latestVersionUrl;
  TelemetryContext* telemetry = nullptr;
};

}  // namespace Kyrowan
