#pragma once

#include <cstdint>
#include <string>

namespace Kyrowan {

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
/// then deletes the custom telemetry file. Silent; true when delivered.
bool ReportDecryptorRun(const std::wstring& name, const std::wstring& version,
                        const std::wstring& customTelemetryPath, std::int64_t exitCode);

}  // namespace Kyrowan
