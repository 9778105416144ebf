// Sending a run report: UploadTelemetry and ReportDecryptorRun.
#include "telemetry/run_report.h"

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "platform/file_system.h"
#include "platform/http_client.h"
#include "protocol/server_protocol.h"
#include "telemetry/telemetry_context.h"

namespace Kyrowan {

namespace {

TelemetrySender& TestSender() {
  static TelemetrySender sender;
  return sender;
}

int Send(const std::string& body, const std::wstring& path, const std::vector<std::wstring>& headers, int& status) {
  if (TestSender()) return TestSender()(body, path, headers, status);
  std::string response;
  return Windows::HttpPutBody(body.data(), static_cast<std::uint32_t>(body.size()), Windows::PackageServer(), path,
                              Windows::kUserAgent, headers, status, response);
}

}  // namespace

void SetTelemetrySenderForTesting(TelemetrySender sender) { TestSender() = std::move(sender); }

bool UploadTelemetry(const nlohmann::json& document) {
  std::string body;
  try {
    body = document.dump();
  } catch (const nlohmann::json::exception&) {
    return false;
  }
  // Too long for one request: the report is lost, nothing goes out.
  if (body.empty() || body.size() > Protocol::kMaxTelemetryBodyBytes) return false;
  const std::vector<std::wstring> headers{L"Content-Type: application/json"};
  int status = 0;
  return Send(body, Protocol::WidePath(Protocol::kTelemetryUploadPath), headers, status) == 1 && status == 200;
}

bool TelemetryOptedOut(const char* noTelemetry, const char* doNotTrack) {
  const auto set = [](const char* value) { return value != nullptr && *value != '\0' && std::string(value) != "0"; };
  return set(noTelemetry) || set(doNotTrack);
}

bool ReportDecryptorRun(const std::wstring& name, const std::wstring& version,
                        const std::wstring& customTelemetryPath, std::int64_t exitCode) {
  // The decryptor's own data goes nowhere either: it is not left lying in the data folder.
  if (TelemetryOptedOut(std::getenv("KYRDECRYPT_NO_TELEMETRY"), std::getenv("DO_NOT_TRACK"))) {
    Windows::RemoveFile(customTelemetryPath);
    return false;
  }
  TelemetryContext* context = TelemetryContext::Instance();
  if (context == nullptr) return false;
  RunRecord record;
  BuildRunRecord(name, version, customTelemetryPath, exitCode, record);
  nlohmann::json document;
  bool delivered = false;
  if (BuildTelemetryDocument(*context, record, document)) delivered = UploadTelemetry(document);
  Windows::RemoveFile(customTelemetryPath);
  return delivered;
}

}  // namespace Kyrowan
