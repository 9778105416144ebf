#include "platform/entry_handle.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/text.h"
#include "tests/scoped_temp.h"

namespace Kyrowan::Windows {
namespace {

namespace fs = std::filesystem;

TEST(EntryHandleTest, OpensEntriesThroughTheirFolderAndReadsWithPlainReads) {
  Testing::TempFolder temp;
  fs::create_directory(temp.Path() / "sub");
  std::ofstream(temp.Path() / "file.bin", std::ios::binary) << "0123456789";
  const EntryHandle folder = EntryHandle::OpenPath(ToUtf8(temp.Path().wstring()));
  ASSERT_EQ(folder.Kind(), EntryKind::Folder);
  std::vector<std::string> names;
  ASSERT_TRUE(folder.ListNames(names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"file.bin", "sub"}));
  EXPECT_EQ(folder.OpenChild("sub").Kind(), EntryKind::Folder);
  EXPECT_EQ(folder.OpenChild("missing").Kind(), EntryKind::Unreadable);
  const EntryHandle file = folder.OpenChild("file.bin");
  ASSERT_EQ(file.Kind(), EntryKind::File);
  EXPECT_EQ(file.Size(), 10);
  std::string bytes;
  ASSERT_TRUE(file.ReadAt(6, 100, bytes));
  EXPECT_EQ(bytes, "6789");  // fewer at the end, no fault
  fs::resize_file(temp.Path() / "file.bin", 2);
  ASSERT_TRUE(file.ReadAt(0, 10, bytes));
  EXPECT_EQ(bytes, "01");
}

#ifndef _WIN32
// Wine shows a Linux link as what it points to, and a pipe cannot be made there.
TEST(EntryHandleTest, ALinkOrPipeInsideAFolderIsNotFollowed) {
  Testing::TempFolder temp;
  fs::create_directory_symlink("/", temp.Path() / "root-link");
  ASSERT_EQ(::mkfifo((temp.Path() / "pipe").c_str(), 0600), 0);
  const EntryHandle folder = EntryHandle::OpenPath(temp.Path().string());
  EXPECT_EQ(folder.OpenChild("root-link").Kind(), EntryKind::NotFollowed);
  EXPECT_EQ(folder.OpenChild("pipe").Kind(), EntryKind::NotFollowed);
  EXPECT_EQ(EntryHandle::OpenPath((temp.Path() / "root-link").string()).Kind(), EntryKind::Folder);
}
#endif

}  // namespace
}  // namespace Kyrowan::Windows
