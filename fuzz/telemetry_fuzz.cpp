// After a run the decryptor's own data file is read and sent inside the run report.
// The decryptor writes that file however it likes: any bytes, any size.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "platform/file_system.h"
#include "platform/signature_verifier.h"
#include "platform/text.h"
#include "protocol/server_protocol.h"
#include "telemetry/run_report.h"

using namespace Kyrowan;
using Kyrowan::Fuzzing::Require;

namespace {

std::string sentBody;
int sends = 0;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The installation's identity is made once, inside the sandbox.
  ::setenv("PROGRAMDATA", Fuzzing::Sandbox::Instance().Path().c_str(), 1);
  SetTelemetrySenderForTesting([](const std::string& body, const std::wstring&, const std::vector<std::wstring>&,
                                  int& status) {
    sentBody = body;
    ++sends;
    status = 200;
    return 1;
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::wstring name = Windows::FromUtf8(input.ConsumeRandomLengthString(64));
  const std::wstring version = Windows::FromUtf8(input.ConsumeRandomLengthString(16));
  const auto exitCode = input.ConsumeIntegral<std::int64_t>();
  const std::string custom = input.ConsumeRemainingBytesAsString();
  const std::filesystem::path file = Fuzzing::Sandbox::Instance().Path() / "custom-telemetry.json";
  Fuzzing::WriteBytes(file, custom);

  sends = 0;
  const bool delivered = ReportDecryptorRun(name, version, file.wstring(), exitCode);
  Require(!Windows::PathExists(file.wstring()), "the data file is deleted after the report");
  Require(delivered == (sends == 1), "delivered exactly when sent");
  if (!delivered) return 0;
  Require(sentBody.size() <= Protocol::kMaxTelemetryBodyBytes, "the body fits one request");
  const nlohmann::json report = nlohmann::json::parse(sentBody);
  const std::string base64 = report.at("decryptor").at("custom").get<std::string>();
  const bool passedOn = !custom.empty() && nlohmann::json::accept(custom);
  Require(base64.empty() != passedOn, "the data file is passed on exactly when it is JSON");
  std::vector<std::uint8_t> decoded;
  if (passedOn)
    Require(Windows::Base64Decode(base64, decoded) && std::string(decoded.begin(), decoded.end()) == custom,
            "the data file is passed on byte for byte");
  return 0;
}
