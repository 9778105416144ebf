#include "platform/output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/scoped_temp.h"

namespace Kyrowan::Windows {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(OutputFileTest, CreateBesideMakesADistinctNewFileInTheTargetsFolder) {
  Testing::TempFolder temp;
  const std::filesystem::path target = temp.Path() / "package.zip";
  std::ofstream(target) << "kept";
  std::wstring first, second;
  OutputFile one, two;
  ASSERT_TRUE(one.CreateBeside(target.wstring(), first));
  ASSERT_TRUE(two.CreateBeside(target.wstring(), second));
  EXPECT_NE(first, second);
  EXPECT_NE(first, target.wstring());
  EXPECT_EQ(std::filesystem::path(first).parent_path(), temp.Path());
  ASSERT_TRUE(one.Write("new", 3));
  ASSERT_TRUE(one.Close());
  EXPECT_EQ(ReadAll(first), "new");
  EXPECT_EQ(ReadAll(target), "kept");
}

}  // namespace
}  // namespace Kyrowan::Windows
