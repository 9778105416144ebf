#include "repository.h"

#include <fstream>

#include <gtest/gtest.h>

#include "tests/scoped_temp.h"

namespace KyrServer {
namespace {

class RepositoryTest : public ::testing::Test {
 protected:
  void Add(const std::string& kind, const std::string& name, const std::string& version) {
    const auto folder = temp_.Path() / kind / name / version;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / (name + ".kpkg")) << name << version;
  }

  // Dates every folder of the repository an hour back, as if it had not changed for a while.
  void Settle() {
    const auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(temp_.Path(), past);
    for (const auto& item : std::filesystem::recursive_directory_iterator(temp_.Path()))
      if (item.is_directory()) std::filesystem::last_write_time(item.path(), past);
  }

  Kyrowan::Testing::TempFolder temp_;
  Repository repository_{temp_.Path()};
};

TEST_F(RepositoryTest, CatalogueListsDecryptorVersionsThatHoldTheirFile) {
  Add("decryptors", "stampado", "1.10.0");
  Add("decryptors", "stampado", "1.9.0");
  Add("decryptors", "alpha", "2.0");
  Add("libraries", "zlib", "1.0");
  std::filesystem::create_directories(temp_.Path() / "decryptors" / "stampado" / "3.0");  // no package file
  std::filesystem::create_directories(temp_.Path() / "decryptors" / "empty");
  EXPECT_EQ(repository_.CatalogueText(),
            R"({"packages":[{"name":"alpha","versions":["2.0"]},{"name":"stampado","versions":["1.9.0","1.10.0"]}],)"
            R"("version":"1.0.0"})");
}

TEST_F(RepositoryTest, CatalogueIsBuiltOncePerChangeOfTheFolders) {
  Add("decryptors", "stampado", "1.0");
  Settle();
  const std::string before = repository_.CatalogueText();
  EXPECT_EQ(repository_.CatalogueText(), before);
  EXPECT_EQ(repository_.CatalogueBuilds(), 1u);
  Add("decryptors", "stampado", "2.0");
  EXPECT_NE(repository_.CatalogueText().find(R"(["1.0","2.0"])"), std::string::npos);
  Settle();
  repository_.CatalogueText();
  std::filesystem::remove(temp_.Path() / "decryptors/stampado/2.0/stampado.kpkg");
  EXPECT_NE(repository_.CatalogueText().find(R"(["1.0"])"), std::string::npos);
  EXPECT_EQ(repository_.CatalogueBuilds(), 4u);
}

TEST_F(RepositoryTest, ChangesTooRecentToTellApartByTimeAreNeverMissed) {
  Add("decryptors", "stampado", "1.0");
  repository_.CatalogueText();
  // On a file system with coarse times, a second change can leave every time as it was.
  const auto folder = temp_.Path() / "decryptors/stampado";
  const auto time = std::filesystem::last_write_time(folder);
  Add("decryptors", "stampado", "2.0");
  std::filesystem::last_write_time(folder, time);
  EXPECT_NE(repository_.CatalogueText().find(R"(["1.0","2.0"])"), std::string::npos);
}

TEST_F(RepositoryTest, EmptyRepositoryListsNothing) {
  EXPECT_EQ(repository_.CatalogueText(), R"({"packages":[],"version":"1.0.0"})");
}

TEST_F(RepositoryTest, LatestIsTheHighestVersionNumerically) {
  Add("decryptors", "stampado", "1.9.0");
  Add("decryptors", "stampado", "1.10.0");
  Add("runtimes", "python", "3.11");
  EXPECT_EQ(repository_.LatestVersion(PackageKind::Decryptor, "stampado"), "1.10.0");
  EXPECT_EQ(repository_.LatestVersion(PackageKind::Runtime, "python"), "3.11");
  EXPECT_EQ(repository_.LatestVersion(PackageKind::Decryptor, "python"), "");
  EXPECT_EQ(repository_.LatestVersion(PackageKind::Decryptor, ".."), "");
}

TEST_F(RepositoryTest, PackageFilesAreFoundOnlyInsideTheRepository) {
  Add("decryptors", "stampado", "1.0");
  Add("decryptors", "stampado", "2.0");
  Add("libraries", "zlib", "1.0");
  EXPECT_EQ(repository_.PackageFile(PackageKind::Decryptor, "stampado", "1.0"),
            temp_.Path() / "decryptors/stampado/1.0/stampado.kpkg");
  EXPECT_EQ(repository_.PackageFile(PackageKind::Decryptor, "stampado", ""),
            temp_.Path() / "decryptors/stampado/2.0/stampado.kpkg");
  EXPECT_EQ(repository_.PackageFile(PackageKind::Library, "zlib", "1.0"), temp_.Path() / "libraries/zlib/1.0/zlib.kpkg");
  EXPECT_TRUE(repository_.PackageFile(PackageKind::Decryptor, "stampado", "3.0").empty());
  EXPECT_TRUE(repository_.PackageFile(PackageKind::Runtime, "zlib", "1.0").empty());
  EXPECT_TRUE(repository_.PackageFile(PackageKind::Decryptor, "stampado", "../2.0").empty());
}

TEST_F(RepositoryTest, VersionZeroMeansTheHighestVersionOfEveryKind) {
  Add("libraries", "zlib", "1.9");
  Add("libraries", "zlib", "1.10");
  Add("runtimes", "python", "3.11.2");
  Add("decryptors", "stampado", "2.0");
  EXPECT_EQ(repository_.PackageFile(PackageKind::Library, "zlib", "0.0.0"),
            temp_.Path() / "libraries/zlib/1.10/zlib.kpkg");
  EXPECT_EQ(repository_.PackageFile(PackageKind::Runtime, "python", "0.0.0"),
            temp_.Path() / "runtimes/python/3.11.2/python.kpkg");
  EXPECT_EQ(repository_.PackageFile(PackageKind::Decryptor, "stampado", "0.0.0"),
            temp_.Path() / "decryptors/stampado/2.0/stampado.kpkg");
  EXPECT_TRUE(repository_.PackageFile(PackageKind::Library, "missing", "0.0.0").empty());
}

TEST(SafePathPart, RefusesWhatCouldLeaveAFolder) {
  EXPECT_TRUE(IsSafePathPart("stampado"));
  EXPECT_TRUE(IsSafePathPart("1.0.0-beta"));
  for (const std::string& bad : std::vector<std::string>{"", "..", "a..b", "a/b", "a\\b", std::string("a\0b", 3)}) {
    EXPECT_FALSE(IsSafePathPart(bad)) << bad;
  }
}

}  // namespace
}  // namespace KyrServer
