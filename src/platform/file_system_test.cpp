#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <unistd.h>

#include "platform/file_system_posix.h"
#endif
#include "tests/scoped_temp.h"

namespace Kyrowan::Windows {
namespace {

#ifdef _WIN32

TEST(DataFolderTest, CommonApplicationDataWithTheSuffixAppendedAsIs) {
  std::wstring out = L"stale";
  ASSERT_TRUE(GetDataFolder(kDataFolderSuffix, out));
  const std::wstring suffix = L"\\Kyrowan\\KyrDecrypt";
  ASSERT_GT(out.size(), suffix.size());
  EXPECT_EQ(out.substr(out.size() - suffix.size()), suffix);
  EXPECT_TRUE(PathExists(out.substr(0, out.size() - suffix.size())));
}

TEST(ParentFolderTest, RemovesTheLastComponent) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"C:\\ProgramData\\x.json", L"C:\\ProgramData"},
      {L"relative\\name", L"relative"},
      {L"C:\\top", L"C:\\"},
      // Stored names separate with forward slashes.
      {L"C:\\a/b/c.txt", L"C:\\a\\b"},
  };
  for (const auto& [path, parent] : cases) {
    std::wstring out;
    ASSERT_TRUE(GetParentFolder(path, out)) << path;
    EXPECT_EQ(out, parent);
  }
}

TEST(ParentFolderTest, RefusesWhatHasNoParent) {
  std::wstring out = L"kept";
  EXPECT_FALSE(GetParentFolder(L"", out));
  EXPECT_FALSE(GetParentFolder(L"name", out));
  EXPECT_FALSE(GetParentFolder(std::wstring(300, L'a') + L"\\b", out));
  EXPECT_EQ(out, L"kept");
}

#else

TEST(DataFolderTest, ProgramDataComesFirstWithTheSuffixAppendedAsIs) {
  Testing::ScopedEnv programData("PROGRAMDATA", "/srv/state");
  std::wstring out = L"stale";
  ASSERT_TRUE(GetDataFolder(kDataFolderSuffix, out));
  EXPECT_EQ(out, L"/srv/state/Kyrowan/KyrDecrypt");
}

TEST(DataFolderTest, EmptyProgramDataIsIgnored) {
  Testing::ScopedEnv programData("PROGRAMDATA", "");
  Testing::ScopedEnv xdg("XDG_DATA_HOME", "/home/u/data");
  std::wstring out;
  ASSERT_TRUE(GetDataFolder(kDataFolderSuffix, out));
  EXPECT_EQ(out, ::access("/var/lib", W_OK | X_OK) == 0 ? L"/var/lib/Kyrowan/KyrDecrypt"
                                                         : L"/home/u/data/Kyrowan/KyrDecrypt");
}

TEST(DataFolderTest, RuleFallsBackInOrder) {
  EXPECT_EQ(ApplicationDataFolderFrom("/p", true, "/x", "/h"), "/p");
  EXPECT_EQ(ApplicationDataFolderFrom("", true, "/x", "/h"), "/var/lib");
  EXPECT_EQ(ApplicationDataFolderFrom(nullptr, false, "/x", "/h"), "/x");
  EXPECT_EQ(ApplicationDataFolderFrom(nullptr, false, "", "/h"), "/h/.local/share");
  EXPECT_EQ(ApplicationDataFolderFrom(nullptr, false, nullptr, ""), "");
}

TEST(DataFolderTest, NoFolderAtAllIsAFailure) {
  Testing::ScopedEnv programData("PROGRAMDATA", std::nullopt);
  Testing::ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
  Testing::ScopedEnv home("HOME", std::nullopt);
  if (::access("/var/lib", W_OK | X_OK) == 0) GTEST_SKIP() << "/var/lib is writable here";
  std::wstring out = L"kept";
  EXPECT_FALSE(GetDataFolder(kDataFolderSuffix, out));
  EXPECT_EQ(out, L"kept");
}

TEST(ParentFolderTest, RemovesTheLastComponent) {
  std::wstring out;
  ASSERT_TRUE(GetParentFolder(L"/var/lib/x.json", out));
  EXPECT_EQ(out, L"/var/lib");
  ASSERT_TRUE(GetParentFolder(L"relative/name", out));
  EXPECT_EQ(out, L"relative");
  ASSERT_TRUE(GetParentFolder(L"/top", out));
  EXPECT_EQ(out, L"/");
  ASSERT_TRUE(GetParentFolder(L"/a/b/", out));
  EXPECT_EQ(out, L"/a");
}

TEST(ParentFolderTest, RefusesWhatHasNoParent) {
  std::wstring out = L"kept";
  EXPECT_FALSE(GetParentFolder(L"", out));
  EXPECT_FALSE(GetParentFolder(L"/", out));
  EXPECT_FALSE(GetParentFolder(L"name", out));
  EXPECT_FALSE(GetParentFolder(std::wstring(5000, L'a') + L"/b", out));
  EXPECT_EQ(out, L"kept");
}

#endif

TEST(FileSystemTest, WritesReplacesMovesAndRemoves) {
  Testing::TempFolder folder;
  const auto under = [](const std::wstring& parent, const wchar_t* name) { return parent + kPathSeparator + name; };
  const std::wstring deep = under(under(folder.Wide(), L"a"), L"b");
  ASSERT_TRUE(CreateFolderTree(deep));
  EXPECT_TRUE(CreateFolderTree(deep));  // already there is success
  const std::wstring file = under(deep, L"f");
  ASSERT_TRUE(WriteNewFile(file, "first"));
  ASSERT_TRUE(ReplaceFileAtomically(file, "second"));
  EXPECT_FALSE(ReplaceFileAtomically(under(under(folder.Wide(), L"missing"), L"f"), "x"));
  EXPECT_FALSE(CreateFolderTree(under(file, L"under-a-file")));
  const std::wstring moved = under(folder.Wide(), L"moved");
  ASSERT_TRUE(MovePath(file, moved));
  EXPECT_FALSE(PathExists(file));
  ASSERT_TRUE(WriteNewFile(file, "third"));
  EXPECT_FALSE(MovePath(file, moved));  // never over an existing target
  EXPECT_TRUE(RemoveFile(moved));
  EXPECT_FALSE(RemoveFile(moved));
  EXPECT_TRUE(RemoveFolderTree(under(folder.Wide(), L"a")));
  EXPECT_FALSE(PathExists(deep));
  EXPECT_TRUE(RemoveFolderTree(under(folder.Wide(), L"a")));
}

}  // namespace
}  // namespace Kyrowan::Windows
