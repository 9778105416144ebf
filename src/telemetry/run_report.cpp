#include "telemetry/run_report.h"

#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "platform/guid.h"
#include "platform/mapped_file.h"
#include "platform/signature_verifier.h"
#include "platform/text.h"
#include "telemetry/telemetry_context.h"

namespace Kyrowan {

bool BuildRunRecord(const std::wstring& name, const std::wstring& version, const std::wstring& customTelemetryPath,
                    std::int64_t exitCode, RunRecord& record) {
  record.name = Windows::ToNarrow(name);
  record.version = Windows::ToNarrow(version);
  record.runAt = Windows::CurrentTimeMillis();
  record.totalDecrypt = exitCode;
  record.status = exitCode != -1 ? 1 : 0;
  record.custom.clear();
  ReadCustomTelemetry(customTelemetryPath, record.custom);
  return true;
}

bool ReadCustomTelemetry(const std::wstring& path, std::string& base64) {
  Windows::MappedFile file(path);
  if (!file.Open()) return false;
  // Only a JSON document is passed on, but as the decryptor wrote it, byte for byte.
  if (!nlohmann::json::accept(file.data, file.data + file.fileSize)) return false;
  if (file.fileSize > static_cast<std::int64_t>(UINT32_MAX)) return false;
  return Windows::Base64Encode(file.data, static_cast<std::uint32_t>(file.fileSize), base64);
}

bool BuildTelemetryDocument(const TelemetryContext& context, const RunRecord& record, nlohmann::json& document) {
  std::wstring guid;
  Windows::CreateGuidText(guid);
  const std::string id = Windows::ToNarrow(guid) + "-{" + std::to_string(Windows::CurrentTimeMillis()) + "}";
  try {
    nlohmann::json decryptor = nlohmann::json::object();
    decryptor["name"] = record.name;
    decryptor["version"] = record.version;
    decryptor["runat"] = record.runAt;
    decryptor["totaldecrypt"] = record.totalDecrypt;
    decryptor["status"] = record.status;
    decryptor["custom"] = record.custom;
    nlohmann::json built = nlohmann::json::object();
    built["id"] = id;
    built["machineid"] = context.machineId;
    built["kyrdecrypt"] = context.toolVersion;
    built["geotag"] = context.utcOffset;
    built["decryptor"] = std::move(decryptor);
    document = std::move(built);
  } catch (const nlohmann::json::exception&) {
    return false;
  }
  return true;
}

}  // namespace Kyrowan
