#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_system_posix.h"
#endif
#include "platform/mapped_file.h"
#include "platform/output_file.h"
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
      {L"\\top", L"\\"},
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
  EXPECT_FALSE(GetParentFolder(L"C:\\", out));
  EXPECT_FALSE(GetParentFolder(std::wstring(40000, L'a') + L"\\b", out));
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

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

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
  ASSERT_TRUE(MoveFileOver(file, moved));
  EXPECT_FALSE(PathExists(file));
  EXPECT_EQ(ReadAll(std::filesystem::path(moved)), "third");
  EXPECT_TRUE(RemoveFile(moved));
  EXPECT_FALSE(RemoveFile(moved));
  // Install folders are named with their trailing separator.
  EXPECT_TRUE(RemoveFolderTree(under(folder.Wide(), L"a") + kPathSeparator));
  EXPECT_FALSE(PathExists(deep));
  EXPECT_TRUE(RemoveFolderTree(under(folder.Wide(), L"a")));
}

TEST(FileSystemTest, PathsPastTheOldWindowsLimitWork) {
  // Deep folders hold victims' files and long runtime paths: 260 characters is no limit.
  Testing::TempFolder folder;
  std::wstring deep = folder.Wide();
  for (int level = 0; level < 6; ++level) deep += kPathSeparator + std::wstring(60, static_cast<wchar_t>(L'a' + level));
  ASSERT_TRUE(CreateFolderTree(deep));
  const std::wstring file = deep + kPathSeparator + L"f";
  ASSERT_TRUE(WriteNewFile(file, "first"));
  ASSERT_TRUE(ReplaceFileAtomically(file, "second"));
  std::wstring parent;
  ASSERT_TRUE(GetParentFolder(file, parent));
  EXPECT_EQ(parent, deep);
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolderEntries(deep, entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, L"f");
  PathKind kind = PathKind::Other;
  ASSERT_TRUE(GetPathKind(file, kind));
  EXPECT_EQ(kind, PathKind::File);
  {
    MappedFile mapped(file);
    ASSERT_TRUE(mapped.OpenUnmapped());
    std::string bytes;
    ASSERT_TRUE(ReadFileRange(mapped, 0, 6, bytes));
    EXPECT_EQ(bytes, "second");
  }
  const std::wstring moved = deep + kPathSeparator + L"moved";
  ASSERT_TRUE(MovePath(file, moved));
  EXPECT_TRUE(PathExists(moved));
  EXPECT_TRUE(RemoveFile(moved));
  EXPECT_TRUE(RemoveFolderTree(folder.Wide() + kPathSeparator + L"aaaa"));
  EXPECT_TRUE(RemoveFolderTree(deep.substr(0, folder.Wide().size() + 61)));
  EXPECT_FALSE(PathExists(deep));
}

#ifndef _WIN32

TEST(FileSystemTest, CreatedFoldersAre0755WhateverTheUmask) {
  for (const mode_t mask : {mode_t{0}, mode_t{077}}) {
    Testing::TempFolder folder;
    const mode_t previous = ::umask(mask);
    const bool created = CreateFolderTree(folder.Wide() + L"/a/b");
    ::umask(previous);
    ASSERT_TRUE(created);
    for (const char* made : {"a", "a/b"}) {
      struct stat info {};
      ASSERT_EQ(::stat((folder.Path() / made).c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 07777, 0755u) << made << " umask " << mask;
    }
  }
}

TEST(FileSystemTest, WritersNeverFollowALinkPlantedAtTheTargetOrAGuessableTemporary) {
  using Writer = std::function<bool(const std::wstring&, std::string_view)>;
  const std::pair<const char*, Writer> writers[] = {{"WriteNewFile", WriteNewFile},
                                                    {"ReplaceFileAtomically", ReplaceFileAtomically}};
  for (const auto& [label, write] : writers) {
    for (const std::string& plantedSuffix : {std::string(), ".tmp" + std::to_string(::getpid())}) {
      SCOPED_TRACE(std::string(label) + " planted at target" + plantedSuffix);
      Testing::TempFolder folder;
      const auto target = folder.Path() / "machine.id";
      const auto victim = folder.Path() / "victim";
      std::ofstream(victim) << "victim";
      std::filesystem::create_symlink(victim, target.string() + plantedSuffix);
      ASSERT_TRUE(write(target.wstring(), "written"));
      EXPECT_EQ(ReadAll(victim), "victim");
      EXPECT_FALSE(std::filesystem::is_symlink(target));
      EXPECT_EQ(ReadAll(target), "written");
    }
  }
}

TEST(FileSystemTest, ExclusiveFileIsForTheOwnerOnlyAndNeverMadeThroughALink) {
  namespace fs = std::filesystem;
  Testing::TempFolder temp;
  const fs::path created = temp.Path() / "new", link = temp.Path() / "link", target = temp.Path() / "target";
  EXPECT_TRUE(CreateExclusiveFile(created.wstring(), "text"));
  EXPECT_EQ(fs::status(created).permissions(), fs::perms::owner_read | fs::perms::owner_write);

  fs::create_symlink(target, link);
  EXPECT_FALSE(CreateExclusiveFile(link.wstring(), "other"));
  EXPECT_FALSE(fs::exists(target));
}

#endif

TEST(FileSystemTest, ExclusiveFileIsNeverWrittenOverWhatIsThere) {
  Testing::TempFolder temp;
  const auto created = temp.Path() / "new";
  EXPECT_TRUE(CreateExclusiveFile(created.wstring(), "text"));
  EXPECT_EQ(ReadAll(created), "text");
  EXPECT_FALSE(CreateExclusiveFile(created.wstring(), "other"));
  EXPECT_EQ(ReadAll(created), "text");
}

TEST(FileSystemTest, ListsOnlyTheSubfolders) {
  Testing::TempFolder temp;
  std::filesystem::create_directories(temp.Path() / "1.0.0");
  std::filesystem::create_directories(temp.Path() / "2.0.0" / "deeper");
  std::ofstream(temp.Path() / "file") << "x";
  std::vector<std::wstring> found = {L"stale"};
  ASSERT_TRUE(ListSubfolders(temp.Wide(), found));
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::wstring>{L"1.0.0", L"2.0.0"}));
  EXPECT_FALSE(ListSubfolders((temp.Path() / "missing").wstring(), found));
  EXPECT_TRUE(found.empty());
}

// What a killed writer left goes; a live writer's file, a recent one and other files stay.
TEST(FileSystemTest, OnlyAbandonedTemporaryFilesAreRemoved) {
  Testing::TempFolder folder;
  const std::wstring target = folder.Wide() + kPathSeparator + L"package.kpkg";
  std::wstring abandoned, live, recent;
  {
    OutputFile writer;  // closed at once, as by a writer that died
    ASSERT_TRUE(writer.CreateBeside(target, abandoned));
  }
  OutputFile liveWriter;
  ASSERT_TRUE(liveWriter.CreateBeside(target, live));
  ASSERT_TRUE(WriteNewFile(target, "installed"));
  RemoveAbandonedTemporaryFiles(folder.Wide(), 0);
  EXPECT_FALSE(PathExists(abandoned));
  EXPECT_TRUE(PathExists(live));
  EXPECT_TRUE(PathExists(target));
  {
    OutputFile writer;
    ASSERT_TRUE(writer.CreateBeside(target, recent));
  }
  RemoveAbandonedTemporaryFiles(folder.Wide());
  EXPECT_TRUE(PathExists(recent));
}

}  // namespace
}  // namespace Kyrowan::Windows
