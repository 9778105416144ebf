#include "platform/exclusive_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/text.h"
#include "tests/scoped_temp.h"

namespace Kyrowan::Windows {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ExclusiveFileTest, CreatesOnlyWhereNothingIsAndForTheOwnerOnly) {
  Testing::TempFolder temp;
  const std::string folder = temp.Path().string() + "/";
  EXPECT_TRUE(CreateExclusiveFile(FromUtf8(folder + "new"), "text"));
  EXPECT_EQ(Read(folder + "new"), "text");
  EXPECT_EQ(fs::status(folder + "new").permissions(), fs::perms::owner_read | fs::perms::owner_write);

  fs::create_symlink(folder + "target", folder + "link");
  EXPECT_FALSE(CreateExclusiveFile(FromUtf8(folder + "new"), "other"));
  EXPECT_FALSE(CreateExclusiveFile(FromUtf8(folder + "link"), "other"));
  EXPECT_EQ(Read(folder + "new"), "text");
  EXPECT_FALSE(fs::exists(folder + "target"));
}

}  // namespace
}  // namespace Kyrowan::Windows
