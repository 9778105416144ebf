#include "telemetry/run_report.h"

#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "telemetry/telemetry_context.h"
#include "tests/temp_data_root.h"

namespace Kyrowan {
namespace {

class RunReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TelemetryContext::Discard();
    ASSERT_TRUE(Windows::CreateFolderTree(root.DataFolder()));
    customFile = root.DataFolder() + L"/decr_demo_1.0.json";
    SetTelemetrySenderForTesting(
        [this](const std::string& body, const std::wstring& path, const std::vector<std::wstring>& headers,
               int& status) {
          sent.push_back(body);
          sentPath = path;
          sentHeaders = headers;
          status = 200;
          return 1;
        });
  }
  void TearDown() override {
    SetTelemetrySenderForTesting(nullptr);
    TelemetryContext::Discard();
  }

  Testing::TempDataRoot root;
  std::wstring customFile;
  std::vector<std::string> sent;
  std::wstring sentPath;
  std::vector<std::wstring> sentHeaders;
};

TEST_F(RunReportTest, DocumentKeysAreSortedAndTheIdIsGuidThenMillis) {
  TelemetryContext* context = TelemetryContext::Instance();
  ASSERT_NE(context, nullptr);
  RunRecord record{"demo", "1.0", 1700000000123, 5, 1, "e30="};
  nlohmann::json document;
  const std::int64_t before = Windows::CurrentTimeMillis();
  ASSERT_TRUE(BuildTelemetryDocument(*context, record, document));
  const std::string text = document.dump();
  std::smatch match;
  const std::regex shape(
      "\\{\"decryptor\":\\{\"custom\":\"e30=\",\"name\":\"demo\",\"runat\":1700000000123,\"status\":1,"
      "\"totaldecrypt\":5,\"version\":\"1.0\"\\},\"geotag\":\"([^\"]*)\","
      "\"id\":\"\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}-\\{([0-9]+)\\}\","
      "\"kyrdecrypt\":\"1.0.0.100\",\"machineid\":\"([^\"]*)\"\\}");
  ASSERT_TRUE(std::regex_match(text, match, shape)) << text;
  EXPECT_EQ(match[1].str(), context->utcOffset);
  EXPECT_GE(std::stoll(match[2].str()), before);
  EXPECT_LE(std::stoll(match[2].str()), Windows::CurrentTimeMillis());
  EXPECT_EQ(match[3].str(), context->machineId);
}

TEST_F(RunReportTest, CustomFileIsSentAsBase64OfItsExactBytesOnlyWhenItIsJson) {
  std::string base64 = "untouched";
  EXPECT_FALSE(ReadCustomTelemetry(customFile, base64));  // missing
  ASSERT_TRUE(Windows::WriteNewFile(customFile, "{ \"files\" : 3 }\n"));
  ASSERT_TRUE(ReadCustomTelemetry(customFile, base64));
  EXPECT_EQ(base64, "eyAiZmlsZXMiIDogMyB9Cg==");  // not re-serialised
  ASSERT_TRUE(Windows::WriteNewFile(customFile, "{\"files\": 3"));
  EXPECT_FALSE(ReadCustomTelemetry(customFile, base64));
}

TEST_F(RunReportTest, ReportIsPutAsJsonAndTheCustomFileDeletedAfterwards) {
  ASSERT_TRUE(Windows::WriteNewFile(customFile, "{ \"files\" : 3 }\n"));
  EXPECT_TRUE(ReportDecryptorRun(L"demo", L"1.0", customFile, 3));
  EXPECT_FALSE(Windows::PathExists(customFile));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sentPath, L"/telemetry/upload");
  EXPECT_EQ(sentHeaders, std::vector<std::wstring>{L"Content-Type: application/json"});
  const auto report = nlohmann::json::parse(sent[0]);
  EXPECT_EQ(report["decryptor"]["custom"], "eyAiZmlsZXMiIDogMyB9Cg==");
  EXPECT_EQ(report["decryptor"]["totaldecrypt"], 3);
  EXPECT_EQ(report["decryptor"]["status"], 1);
  EXPECT_EQ(report["decryptor"]["name"], "demo");
  EXPECT_EQ(report["machineid"], TelemetryContext::Instance()->machineId);
}

TEST_F(RunReportTest, FailedRunWithInvalidCustomJsonStillReportsAndDeletes) {
  ASSERT_TRUE(Windows::WriteNewFile(customFile, "not json"));
  EXPECT_TRUE(ReportDecryptorRun(L"demo", L"1.0", customFile, -1));
  EXPECT_FALSE(Windows::PathExists(customFile));
  ASSERT_EQ(sent.size(), 1u);
  const auto report = nlohmann::json::parse(sent[0]);
  EXPECT_EQ(report["decryptor"]["custom"], "");
  EXPECT_EQ(report["decryptor"]["totaldecrypt"], -1);
  EXPECT_EQ(report["decryptor"]["status"], 0);
}

TEST_F(RunReportTest, ReportOf16384BytesOrMoreIsNotSent) {
  // Valid JSON whose Base64 alone is larger than any report may be.
  ASSERT_TRUE(Windows::WriteNewFile(customFile, "\"" + std::string(12300, 'a') + "\""));
  EXPECT_FALSE(ReportDecryptorRun(L"demo", L"1.0", customFile, 1));
  EXPECT_TRUE(sent.empty());
  EXPECT_FALSE(Windows::PathExists(customFile));
}

TEST_F(RunReportTest, UndeliveredReportIsFalse) {
  SetTelemetrySenderForTesting([](const std::string&, const std::wstring&, const std::vector<std::wstring>&,
                                  int& status) {
    status = 500;
    return 1;
  });
  EXPECT_FALSE(ReportDecryptorRun(L"demo", L"1.0", customFile, 1));
}

TEST(TelemetryOptOutTest, EitherVariableSetToAnythingButEmptyOrZeroOptsOut) {
  const struct {
    const char* noTelemetry;
    const char* doNotTrack;
    bool optedOut;
  } cases[] = {{nullptr, nullptr, false}, {"", "0", false}, {"0", nullptr, false},
               {"1", nullptr, true},      {nullptr, "1", true}, {"yes", "0", true}};
  for (const auto& c : cases)
    EXPECT_EQ(TelemetryOptedOut(c.noTelemetry, c.doNotTrack), c.optedOut)
        << (c.noTelemetry ? c.noTelemetry : "unset") << " / " << (c.doNotTrack ? c.doNotTrack : "unset");
}

TEST_F(RunReportTest, WithoutAContextNothingIsSentAndTheFileStays) {
  Testing::TempDataRoot blocked;
  const std::wstring blocker = blocked.DataRootParent();
  ASSERT_TRUE(Windows::WriteNewFile(blocker, "in the way"));
  ASSERT_TRUE(Windows::WriteNewFile(customFile, "{}"));
  EXPECT_FALSE(ReportDecryptorRun(L"demo", L"1.0", customFile, 1));
  EXPECT_TRUE(sent.empty());
  EXPECT_TRUE(Windows::PathExists(customFile));
}

}  // namespace
}  // namespace Kyrowan
