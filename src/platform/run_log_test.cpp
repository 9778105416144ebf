#include "platform/run_log.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/scoped_temp.h"

namespace Kyrowan::Windows {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The bound: a log stays within its size, keeps one older copy, and loses no line.
TEST(RunLog, MovesAFullLogAsideKeepingOneOlderCopy) {
  Testing::TempFolder folder;
  const std::filesystem::path log = folder.Path() / "kyrdecrypt.log";
  const std::filesystem::path older = folder.Path() / "kyrdecrypt.log.1";
  const std::string line(100, 'a');
  ASSERT_TRUE(AppendToRunLog(log.wstring(), "first\n", 210));
  ASSERT_TRUE(AppendToRunLog(log.wstring(), line + "\n", 210));
  ASSERT_TRUE(AppendToRunLog(log.wstring(), line + "\n", 210));
  EXPECT_EQ(ReadAll(log), "first\n" + line + "\n" + line + "\n");
  EXPECT_FALSE(std::filesystem::exists(older));

  // One more would pass the bound: the full log becomes the older copy.
  ASSERT_TRUE(AppendToRunLog(log.wstring(), "second\n", 210));
  EXPECT_EQ(ReadAll(log), "second\n");
  EXPECT_EQ(ReadAll(older), "first\n" + line + "\n" + line + "\n");

  // The next move replaces the older copy: two files at most.
  ASSERT_TRUE(AppendToRunLog(log.wstring(), std::string(300, 'b') + "\n", 210));
  EXPECT_EQ(ReadAll(older), "second\n");
  EXPECT_EQ(ReadAll(log), std::string(300, 'b') + "\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 2);
}

TEST(RunLog, DefaultBoundIsOneMebibyte) {
  Testing::TempFolder folder;
  const std::filesystem::path log = folder.Path() / "kyrdecrypt.log";
  ASSERT_TRUE(AppendToRunLog(log.wstring(), std::string((1 << 20) - 1, 'x') + "\n"));
  ASSERT_TRUE(AppendToRunLog(log.wstring(), "y\n"));
  EXPECT_EQ(std::filesystem::file_size(folder.Path() / "kyrdecrypt.log.1"), 1u << 20);
  EXPECT_EQ(ReadAll(log), "y\n");
}

TEST(RunLog, UnwritableLogIsReportedNotThrown) {
  Testing::TempFolder folder;
  EXPECT_FALSE(AppendToRunLog((folder.Path() / "missing" / "kyrdecrypt.log").wstring(), "x\n"));
}

}  // namespace
}  // namespace Kyrowan::Windows
