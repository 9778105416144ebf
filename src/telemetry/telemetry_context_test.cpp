#include "telemetry/telemetry_context.h"

#include <regex>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/mapped_file.h"
#include "tests/temp_data_root.h"

namespace Kyrowan {
namespace {

class TelemetryContextTest : public ::testing::Test {
 protected:
  void SetUp() override { TelemetryContext::Discard(); }
  void TearDown() override { TelemetryContext::Discard(); }

  std::wstring IdFile() const { return root.DataFolder() + L"/machine.id"; }
  std::string FileText(const std::wstring& path) const {
    Windows::MappedFile file(path);
    return file.Open() ? std::string(file.data, static_cast<std::size_t>(file.fileSize)) : std::string();
  }

  Testing::TempDataRoot root;
};

const std::regex kGuidText("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");

TEST_F(TelemetryContextTest, FirstUseCreatesAGuidFileOfExactly38Bytes) {
  TelemetryContext* context = TelemetryContext::Instance();
  ASSERT_NE(context, nullptr);
  const std::string stored = FileText(IdFile());
  EXPECT_EQ(stored.size(), 38u);
  EXPECT_TRUE(std::regex_match(stored, kGuidText)) << stored;
  EXPECT_EQ(context->machineId, stored);
  EXPECT_EQ(context->toolVersion, "1.0.0.100");
  EXPECT_FALSE(context->utcOffset.empty());
  EXPECT_EQ(context->ready, 1);
  // The same object until discarded; afterwards the file is read again.
  EXPECT_EQ(TelemetryContext::Instance(), context);
  TelemetryContext::Discard();
  EXPECT_EQ(TelemetryContext::Instance()->machineId, stored);
}

TEST_F(TelemetryContextTest, ExistingTextIsUsedUnchangedLineFeedIncluded) {
  ASSERT_TRUE(Windows::CreateFolderTree(root.DataFolder()));
  ASSERT_TRUE(Windows::WriteNewFile(IdFile(), "my-machine\n"));
  ASSERT_NE(TelemetryContext::Instance(), nullptr);
  EXPECT_EQ(TelemetryContext::Instance()->machineId, "my-machine\n");
  EXPECT_EQ(FileText(IdFile()), "my-machine\n");
}

TEST_F(TelemetryContextTest, TextEndsAtTheFirstNulByte) {
  ASSERT_TRUE(Windows::CreateFolderTree(root.DataFolder()));
  ASSERT_TRUE(Windows::WriteNewFile(IdFile(), std::string("abc\0def", 7)));
  EXPECT_EQ(TelemetryContext::Instance()->machineId, "abc");
}

TEST_F(TelemetryContextTest, EmptyNulLeadingOrOversizedFileIsReplaced) {
  ASSERT_TRUE(Windows::CreateFolderTree(root.DataFolder()));
  for (const std::string& content : {std::string(), std::string("\0abc", 4), std::string(4097, 'x')}) {
    TelemetryContext::Discard();
    ASSERT_TRUE(Windows::WriteNewFile(IdFile(), content));
    TelemetryContext* context = TelemetryContext::Instance();
    ASSERT_NE(context, nullptr);
    EXPECT_TRUE(std::regex_match(context->machineId, kGuidText));
    EXPECT_EQ(FileText(IdFile()), context->machineId);
  }
  // 4096 bytes is still an identifier.
  TelemetryContext::Discard();
  ASSERT_TRUE(Windows::WriteNewFile(IdFile(), std::string(4096, 'y')));
  EXPECT_EQ(TelemetryContext::Instance()->machineId, std::string(4096, 'y'));
}

TEST_F(TelemetryContextTest, NoDataFolderMeansNoContext) {
  // A file where the data root's parent folder should be: the folder cannot be made.
  const std::wstring blocker = root.DataRootParent();
  ASSERT_TRUE(Windows::WriteNewFile(blocker, "in the way"));
  EXPECT_EQ(TelemetryContext::Instance(), nullptr);
  Windows::RemoveFile(blocker);
  EXPECT_NE(TelemetryContext::Instance(), nullptr);
}

}  // namespace
}  // namespace Kyrowan
