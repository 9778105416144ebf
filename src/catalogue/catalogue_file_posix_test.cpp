// Saves racing in processes made with fork, and a disk full mid-write (RLIMIT_FSIZE).
#include <csignal>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/catalogue_file_fixture.h"

namespace Kyrowan {
namespace {

using Testing::CatalogueFileTest;
using Testing::ReadText;
using Testing::WriteText;

// Runs `body` in a child process and returns its exit status (-1 if it did not exit normally).
int InChild(const std::function<bool()>& body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body() ? 0 : 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CatalogueFileTest, ConcurrentRunsLoseNoDownload) {
  constexpr int kRuns = 12;
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < kRuns; ++i) {
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(gate[1]);
      PackageCatalogue loaded;
      ReadCatalogueFile(Path(), loaded);
      PackageCatalogue current = loaded;
      RecordVersion(current, "stampado", "1." + std::to_string(i));
      char byte;
      // Every run has read the file before any of them saves.
      (void)::read(gate[0], &byte, 1);
      ::_exit(WriteCatalogueFile(Path(), current, loaded) ? 0 : 1);
    }
    children.push_back(child);
  }
  ::close(gate[0]);
  ::close(gate[1]);
  for (const pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  PackageCatalogue saved;
  ASSERT_TRUE(ReadCatalogueFile(Path(), saved));
  ASSERT_EQ(saved.packages.size(), 1u);
  EXPECT_EQ(saved.packages[0].versions.size(), static_cast<std::size_t>(kRuns));
}

TEST_F(CatalogueFileTest, SaveThatCannotFinishLeavesTheOldFileWhole) {
  const std::string before = R"({"packages":[{"name":"stampado","versions":["1.0"]}],"version":"0.0.0"})";
  WriteText(File(), before);
  // The child can write at most 16 bytes per file: the disk is "full" mid-write.
  const int status = InChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16, 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    return !Run({{"stampado", "2.0"}, {"another-long-decryptor-name", "3.0.0"}});
  });
  EXPECT_EQ(status, 0) << "the failed save must report failure";
  EXPECT_EQ(ReadText(File()), before);
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "decryptors.json" || name == "decryptors.json.lock") << name;
  }
}

}  // namespace
}  // namespace Kyrowan
