#include "package/decryptor_package.h"

#include <nlohmann/json.hpp>

#include "platform/http_client.h"
#include "protocol/server_protocol.h"
#include "telemetry/run_report.h"
#include "telemetry/telemetry_context.h"

namespace Kyrowan {

using namespace Windows;

DecryptorPackage::DecryptorPackage(const std::wstring& name, const std::wstring& version)
    : GenericPackageElement<PkgInfo_s>(PkgKindDecryptor, name, version) {
  DecryptorPackage::SetUpPaths();
  ResolveLatestVersion();
  telemetry = TelemetryContext::Instance();
}

DecryptorPackage::~DecryptorPackage() { TelemetryContext::Discard(); }

bool DecryptorPackage::SetUpPaths() {
  libraryFolder.clear();
  dataFilePath.clear();
  latestVersionUrl.clear();
  std::wstring dataFolder;
  if (!AdoptFolders(L"decryptors") || !GetDataSubfolder(L"data", dataFolder)) {
    ClearPaths();
    return false;
  }
  downloadUrl = Protocol::DecryptorDownloadPath(name, version);
  latestVersionUrl = Protocol::LatestVersionQueryPath(name);
  libraryFolder = filesFolder;
  dataFilePath = dataFolder + kPathSeparator + L"decr_" + name + L"_" + version + L".json";
  return true;
}

bool DecryptorPackage::ResolveLatestVersion() {
  if (version != kLatestVersionWide) return true;
  int status = 0;
  std::string body;
  if (!ServerGet(latestVersionUrl, {}, status, body) || body.empty()) return false;
  return AdoptLatestVersion(body);
}

bool DecryptorPackage::AdoptLatestVersion(const std::string& body) {
  const std::wstring latest = ToWide(body);
  if (!IsSafeFolderName(latest)) return false;
  version = latest;
  return SetUpPaths();
}

PkgResult_e DecryptorPackage::CallEntry(std::uint32_t mode, std::int64_t& exitCode, const nlohmann::json& params) {
  exitCode = -1;
  const PkgResult_e valid = Validate();
  if (valid != PkgOperationSucceeded) return valid;
  std::wstring entry;
  if (mode == ExecuteModeRun) {
    entry = ToWide(info.run);
  } else if (mode == ExecuteModeHelp) {
    entry = ToWide(info.help);
  }
  if (entry.empty()) return PkgOperationFailed;
  const PkgResult_e attached = AttachToRuntime();
  if (attached != PkgOperationSucceeded) return attached;
  const auto result = static_cast<PkgResult_e>(runtime->Execute(ToWide(info.module), entry, mode, exitCode, params));
  DetachFromRuntime();
  return result;
}

PkgResult_e DecryptorPackage::Run(const std::wstring& args) {
  nlohmann::json params = nlohmann::json::object();
  params["CustomTelemFile"] = WideToJsonArray(dataFilePath);
  params["DecrPkgPath"] = WideToJsonArray(filesFolder);
  params["DecrPkgArgs"] = WideToJsonArray(args);
  std::int64_t exitCode = -1;
  const PkgResult_e result = CallEntry(ExecuteModeRun, exitCode, params);
  // Every run is reported, including one that never reached the decryptor.
  ReportDecryptorRun(name, version, dataFilePath, exitCode);
  return result;
}

PkgResult_e DecryptorPackage::About() {
  std::int64_t exitCode = -1;
  return CallEntry(ExecuteModeHelp, exitCode, nlohmann::json());
}

}  // namespace Kyrowan
