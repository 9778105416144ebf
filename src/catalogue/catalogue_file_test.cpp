#include "catalogue/catalogue_file.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "catalogue/package_catalogue.h"
#include "platform/text.h"
#include "tests/scoped_temp.h"

namespace Kyrowan {
namespace {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Runs `body` in a child process and returns its exit status (-1 if it did not exit normally).
int InChild(const std::function<bool()>& body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body() ? 0 : 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CatalogueFileTest : public ::testing::Test {
 protected:
  std::filesystem::path File() const { return folder_.Path() / "decryptors.json"; }
  std::wstring Path() const { return Windows::FromUtf8(File().string()); }

  // One run: read the file, record versions, save.
  bool Run(const std::vector<std::pair<std::string, std::string>>& downloads) {
    PackageCatalogue loaded;
    ReadCatalogueFile(Path(), loaded);
    PackageCatalogue current = loaded;
    for (const auto& [name, version] : downloads) RecordVersion(current, name, version);
    SortCatalogueVersions(current);
    return WriteCatalogueFile(Path(), current, loaded);
  }

  Testing::TempFolder folder_;
};

TEST_F(CatalogueFileTest, ReadStopsAtNulAndNormalisesOnSave) {
  WriteText(File(), std::string(R"({"packages":[{"name":"Stampado","versions":["1.10.0","1.9.0"]}],"version":"0.0.0"})") +
                        std::string("\0garbage", 8));
  ASSERT_TRUE(Run({}));
  EXPECT_EQ(ReadText(File()), R"({"packages":[{"name":"stampado","versions":["1.9.0","1.10.0"]}],"version":"0.0.0"})");
}

TEST_F(CatalogueFileTest, UnreadableFileIsKeptAsideAndReplacedByTheCatalogueInMemory) {
  const std::vector<std::string> unreadable{R"({"packages":[]})",
                                           R"({"packages":[{"name":"a","versions":[1]}],"version":"0"})", ""};
  for (const std::string& text : unreadable) {
    WriteText(File(), text);
    PackageCatalogue catalogue;
    EXPECT_FALSE(ReadCatalogueFile(Path(), catalogue)) << text;
    ASSERT_TRUE(Run({})) << text;
    EXPECT_EQ(ReadText(File()), R"({"packages":[],"version":"0.0.0"})");
  }
  // Both unreadable files survive, even when found within the same second; the empty one held nothing.
  const std::regex asideName(R"(decryptors\.json\.unreadable-\d{8}T\d{6}Z(-\d+)?)");
  std::set<std::string> kept;
  for (const auto& file : std::filesystem::directory_iterator(folder_.Path())) {
    const std::string name = file.path().filename().string();
    if (name == "decryptors.json" || name == "decryptors.json.lock") continue;
    EXPECT_TRUE(std::regex_match(name, asideName)) << name;
    kept.insert(ReadText(file.path()));
  }
  EXPECT_EQ(kept, (std::set<std::string>{unreadable[0], unreadable[1]}));
  std::filesystem::remove(File());
  ASSERT_TRUE(Run({{"stampado", "1.0"}}));
  EXPECT_EQ(ReadText(File()), R"({"packages":[{"name":"stampado","versions":["1.0"]}],"version":"0.0.0"})");
}

TEST_F(CatalogueFileTest, SaveKeepsWhatAnotherRunSavedMeanwhile) {
  WriteText(File(), R"({"packages":[{"name":"stampado","versions":["1.0"]}],"version":"0.0.0"})");
  PackageCatalogue loadedA, loadedB;
  ASSERT_TRUE(ReadCatalogueFile(Path(), loadedA));
  ASSERT_TRUE(ReadCatalogueFile(Path(), loadedB));
  PackageCatalogue currentA = loadedA, currentB = loadedB;
  RecordVersion(currentA, "stampado", "1.2");
  RecordVersion(currentB, "Other", "3.0");
  ASSERT_TRUE(WriteCatalogueFile(Path(), currentA, loadedA));
  ASSERT_TRUE(WriteCatalogueFile(Path(), currentB, loadedB));
  // And a run that recorded nothing does not undo either of them.
  ASSERT_TRUE(WriteCatalogueFile(Path(), loadedA, loadedA));
  EXPECT_EQ(ReadText(File()),
            R"({"packages":[{"name":"stampado","versions":["1.0","1.2"]},{"name":"other","versions":["3.0"]}],)"
            R"("version":"0.0.0"})");
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

TEST(CatalogueFile, NoPathNoFile) {
  PackageCatalogue catalogue;
  EXPECT_FALSE(ReadCatalogueFile(L"", catalogue));
  EXPECT_FALSE(WriteCatalogueFile(L"", catalogue, catalogue));
}

}  // namespace
}  // namespace Kyrowan
