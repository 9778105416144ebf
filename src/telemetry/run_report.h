#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace Kyrowan {

class TelemetryContext;

/// What a run report says about the decryptor that ran.
struct RunRecord {
  std::string name;
  std::string version;
  std::int64_t runAt = 0;
  std::int64_t totalDecrypt = -1;
  std::uint32_t status = 0;
  std::string custom;
};

/// Sends the report of one decryptor run (name and version as the element holds
/// them, the custom telemetry file it was given, the exit code from the runtime),
/// then deletes the custom telemetry file. Silent; true when delivered. When the user
/// opted out, nothing is sent and the custom telemetry file is deleted all the same.
bool ReportDecryptorRun(const std::wstring& name, const std::wstring& version,
                        const std::wstring& customTelemetryPath, std::int64_t exitCode);

/// Whether the user asked for no reports: KYRDECRYPT_NO_TELEMETRY or DO_NOT_TRACK set to
/// anything but empty or "0" (the values of both variables, null when unset).
bool TelemetryOptedOut(const char* noTelemetry, const char* doNotTrack);

/// Fills the decryptor part of a report, taking the time now. Always true.
bool BuildRunRecord(const std::wstring& name, const std::wstring& version, const std::wstring& customTelemetryPath,
                    std::int64_t exitCode, RunRecord& record);
/// Base64 of the custom telemetry file's exact bytes; false when the file is
/// missing, empty or not JSON.
bool ReadCustomTelemetry(const std::wstring& path, std::string& base64);
/// The report document: identity, a fresh "id", the run record.
bool BuildTelemetryDocument(const TelemetryContext& context, const RunRecord& record, nlohmann::json& document);
/// PUTs the document to the server; true only for an answer with status 200.
bool UploadTelemetry(const nlohmann::json& document);

/// Sends a report body; returns HttpPutBody's result and sets the HTTP status.
using TelemetrySender = std::function<int(const std::string& body, const std::wstring& path,
                                          const std::vector<std::wstring>& headers, int& status)>;
/// Lets tests capture what would be sent; an empty function restores the real sender.
void SetTelemetrySenderForTesting(TelemetrySender sender);

}  // namespace Kyrowan
