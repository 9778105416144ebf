#include "identify/file_walk.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/entry_handle.h"
#include "platform/text.h"
#include "tests/scoped_temp.h"

namespace Kyrowan::Identify {
namespace {

namespace fs = std::filesystem;

class FileWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root() / "deep/deeper");
    for (const char* name : {"a.txt", "deep/b.txt", "deep/deeper/c.txt", "deep/deeper/unreadable.txt"})
      std::ofstream(root() / name) << name;
  }
  fs::path root() const { return temp.Path() / "scan"; }

  // Walks `paths` and returns the names visited, in order; `unreadable` names are refused by the visitor.
  std::vector<std::wstring> Walk(const std::vector<std::wstring>& paths, std::size_t maxFiles, bool expectOk = true) {
    std::vector<std::wstring> names;
    const FileVisitor visit = [&names](const Windows::EntryHandle&, const std::string& name) {
      if (name == "unreadable.txt") return false;
      names.push_back(Windows::FromUtf8(name));
      return true;
    };
    std::vector<std::string> narrow;
    for (const std::wstring& path : paths) narrow.push_back(Windows::ToUtf8(path));
    std::string failedNarrow;
    EXPECT_EQ(WalkPaths(narrow, maxFiles, visit, summary, failedNarrow), expectOk);
    failed = Windows::FromUtf8(failedNarrow);
    return names;
  }

  Testing::TempFolder temp;
  WalkSummary summary;
  std::wstring failed;
};

TEST_F(FileWalkTest, VisitsEveryFileInOrderAndCountsTheUnreadable) {
  EXPECT_EQ(Walk({root().wstring()}, 100), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"c.txt"}));
  EXPECT_EQ(summary.files, 3u);
  EXPECT_EQ(summary.unreadable, 1u);
  EXPECT_FALSE(summary.limitReached);
}

TEST_F(FileWalkTest, StopsAtTheFileLimit) {
  EXPECT_EQ(Walk({root().wstring()}, 2), (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
  EXPECT_TRUE(summary.limitReached);
}

TEST_F(FileWalkTest, APathGivenTwiceOrInsideAnotherGivenFolderIsWalkedOnce) {
  const fs::path deep = root() / "deep";
  const std::vector<std::wstring> paths{deep.wstring(), root().wstring(), (root() / ".." / "scan/").wstring(),
                                        (deep / "b.txt").wstring(), (deep / "deeper/c.txt").wstring()};
  EXPECT_EQ(Walk(paths, 100), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"c.txt"}));
  EXPECT_EQ(Walk({(deep / "b.txt").wstring(), (deep / "b.txt").wstring()}, 100), std::vector<std::wstring>{L"b.txt"});
}

TEST_F(FileWalkTest, AGivenPathThatCannotBeReadFailsTheWalk) {
  const std::wstring missing = (root() / "missing").wstring();
  EXPECT_TRUE(Walk({root().wstring(), missing}, 100, false).empty());
  EXPECT_EQ(failed, missing);
  const std::wstring unreadable = (root() / "deep/deeper/unreadable.txt").wstring();
  Walk({unreadable}, 100, false);
  EXPECT_EQ(failed, unreadable);
}

#ifndef _WIN32
TEST_F(FileWalkTest, FollowsGivenLinksButNoLinkInsideAFolder) {
  fs::create_directories(temp.Path() / "outside");
  std::ofstream(temp.Path() / "outside/secret.txt") << "x";
  fs::create_directory_symlink(temp.Path() / "outside", root() / "link-out");
  fs::create_symlink(temp.Path() / "outside/secret.txt", root() / "file-link");
  const std::vector<std::wstring> names = Walk({root().wstring()}, 100);
  EXPECT_EQ(std::count(names.begin(), names.end(), L"secret.txt"), 0);
  EXPECT_EQ(summary.skipped, 2u);
  EXPECT_EQ(Walk({(root() / "link-out").wstring()}, 100), std::vector<std::wstring>{L"secret.txt"});
  EXPECT_EQ(Walk({(temp.Path() / "outside").wstring(), (root() / "link-out").wstring()}, 100),
            std::vector<std::wstring>{L"secret.txt"});
}
#endif

}  // namespace
}  // namespace Kyrowan::Identify
