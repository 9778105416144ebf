#include "runtime/elf_dependencies.h"

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/text.h"

namespace Kyrowan {
namespace {

const std::wstring kTestRoot = Windows::FromUtf8(KYR_NATIVE_TEST_DIR);
const std::wstring kEntryFolder = kTestRoot + L"/entry";
const std::wstring kNeedsDepFolder = kTestRoot + L"/needsdep";

TEST(LibraryLinkInfoTest, ReadsNeededNamesAndSoname) {
  LibraryLinkInfo info;
  ASSERT_TRUE(ReadLibraryLinkInfo(kNeedsDepFolder + L"/libkyrtest_needs_dep.so", info));
  EXPECT_EQ(info.soname, "libkyrtest_needs_dep.so");
  EXPECT_NE(std::find(info.needed.begin(), info.needed.end(), "libkyrtest_dep.so"), info.needed.end());
  EXPECT_FALSE(ReadLibraryLinkInfo(kTestRoot + L"/missing.so", info));
}

TEST(LibraryLinkInfoTest, RefusesFilesThatAreNotLibraries) {
  char pattern[] = "/tmp/kyr-elf-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::wstring folder = Windows::FromUtf8(pattern);
  // A valid header whose program headers point far past the end of the file.
  std::string truncated(64, '\0');
  {
    std::ifstream in(Windows::ToUtf8(kEntryFolder + L"/libkyrtest_entry.so"), std::ios::binary);
    in.read(truncated.data(), 64);
  }
  Windows::WriteNewFile(folder + L"/cut.so", truncated);
  Windows::WriteNewFile(folder + L"/text.so", "not a library at all, just text");
  LibraryLinkInfo info;
  EXPECT_FALSE(ReadLibraryLinkInfo(folder + L"/cut.so", info));
  EXPECT_FALSE(ReadLibraryLinkInfo(folder + L"/text.so", info));
  Windows::RemoveFolderTree(folder);
}

}  // namespace
}  // namespace Kyrowan
