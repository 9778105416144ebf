#include "app/package_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "catalogue/catalogue_file.h"
#include "platform/text.h"
#include "tests/scoped_temp.h"
#include "tests/temp_data_root.h"

namespace Kyrowan {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class PackageManagerTest : public ::testing::Test {
 protected:
  void TearDown() override { PackageManager::DestroyInstance(); }

  Testing::TempDataRoot data;
  const fs::path dataFolder = data.Path() / "Kyrowan" / "KyrDecrypt" / "data";

  void WriteCatalogue(const std::string& text) {
    fs::create_directories(dataFolder);
    std::ofstream(dataFolder / "decryptors.json", std::ios::binary) << text;
  }
};

TEST_F(PackageManagerTest, FirstUseCreatesTheDataFolderOnce) {
  PackageManager* first = PackageManager::GetInstance();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(PackageManager::GetInstance(), first);
  EXPECT_TRUE(fs::is_directory(dataFolder));
  EXPECT_EQ(first->initialised, 1);
  EXPECT_EQ(fs::path(first->cataloguePath), dataFolder / "decryptors.json");
}

TEST_F(PackageManagerTest, DestroyWritesTheCatalogueFileAndMayBeRepeated) {
  PackageManager::GetInstance();
  PackageManager::DestroyInstance();
  EXPECT_EQ(ReadFile(dataFolder / "decryptors.json"), R"({"packages":[],"version":"0.0.0"})");
  PackageManager::DestroyInstance();
  // A later first use makes a new manager.
  EXPECT_NE(PackageManager::GetInstance(), nullptr);
}

TEST_F(PackageManagerTest, ExistingCatalogueFileIsNotReplacedByAnEmptyOne) {
  fs::create_directories(dataFolder);
  const std::string recorded = R"({"packages":[{"name":"stampado","versions":["1.0.0"]}],"version":"0.0.0"})";
  std::ofstream(dataFolder / "decryptors.json", std::ios::binary) << recorded;
  PackageManager::GetInstance();
  PackageManager::DestroyInstance();
  EXPECT_EQ(ReadFile(dataFolder / "decryptors.json"), recorded);
}

TEST_F(PackageManagerTest, UnusableDataFolderStillYieldsAManagerThatSavesNothing) {
  // A file where the data root should be makes the folder impossible to create.
  std::ofstream(data.Path() / "Kyrowan") << "in the way";
  PackageManager* manager = PackageManager::GetInstance();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(manager->initialised, 0);
  EXPECT_TRUE(manager->cataloguePath.empty());
  PackageManager::DestroyInstance();
}

TEST_F(PackageManagerTest, CatalogueIsLoadedNormalisedAndWrittenBackSo) {
  WriteCatalogue(R"({"packages":[{"name":"Stampado","versions":["1.10.0","1.9.0"]}],"version":"0.0.0"})");
  PackageManager* manager = PackageManager::GetInstance();
  ASSERT_EQ(manager->catalogue.packages.size(), 1u);
  EXPECT_EQ(manager->catalogue.packages[0].name, "stampado");
  PackageManager::DestroyInstance();
  EXPECT_EQ(ReadFile(dataFolder / "decryptors.json"),
            R"({"packages":[{"name":"stampado","versions":["1.9.0","1.10.0"]}],"version":"0.0.0"})");
}

TEST_F(PackageManagerTest, UnreadableCatalogueBecomesANewOneAtExit) {
  WriteCatalogue(R"({"packages":[{"name":"stampado","versions":[1]}],"version":"0.0.0"})");
  EXPECT_TRUE(PackageManager::GetInstance()->catalogue.packages.empty());
  PackageManager::DestroyInstance();
  EXPECT_EQ(ReadFile(dataFolder / "decryptors.json"), R"({"packages":[],"version":"0.0.0"})");
}

TEST_F(PackageManagerTest, LatestVersionIsTheHighestRecorded) {
  WriteCatalogue(R"({"packages":[{"name":"stampado","versions":["1.10.0","1.9.0"]},{"name":"none","versions":[]}],)"
                 R"("version":"0.0.0"})");
  PackageManager* manager = PackageManager::GetInstance();
  std::wstring version = L"stale";
  EXPECT_TRUE(manager->FindLatestVersion(L"STAMPADO", version));
  EXPECT_EQ(version, L"1.10.0");
  EXPECT_FALSE(manager->FindLatestVersion(L"none", version));
  EXPECT_EQ(version, L"");
  EXPECT_FALSE(manager->FindLatestVersion(L"absent", version));
  EXPECT_FALSE(manager->FindLatestVersion(L"", version));
}

TEST_F(PackageManagerTest, RecordedVersionIsSavedBesideWhatAnotherRunSavedMeanwhile) {
  WriteCatalogue(R"({"packages":[{"name":"stampado","versions":["1.0"]}],"version":"0.0.0"})");
  PackageManager* manager = PackageManager::GetInstance();
  {
    std::lock_guard<std::mutex> guard(manager->lock);
    RecordVersion(manager->catalogue, "stampado", "2.0");
    SortCatalogueVersions(manager->catalogue);
  }
  // Another run, started at the same time, records its own download and exits first.
  PackageCatalogue loaded;
  ASSERT_TRUE(ReadCatalogueFile(manager->cataloguePath, loaded));
  PackageCatalogue other = loaded;
  RecordVersion(other, "jigsaw", "1.5");
  ASSERT_TRUE(WriteCatalogueFile(manager->cataloguePath, other, loaded));
  PackageManager::DestroyInstance();
  EXPECT_EQ(ReadFile(dataFolder / "decryptors.json"),
            R"({"packages":[{"name":"stampado","versions":["1.0","2.0"]},{"name":"jigsaw","versions":["1.5"]}],)"
            R"("version":"0.0.0"})");
}

TEST_F(PackageManagerTest, FailedListFetchShowsTheLocalCatalogueAllMarked) {
  WriteCatalogue(R"({"packages":[{"name":"stampado","versions":["1.0","2.0"]}],"version":"0.0.0"})");
  PackageCatalogue display;
  // The unit tests' build configuration names a port nothing listens on.
  EXPECT_EQ(PackageManager::GetInstance()->ListPackages(display), 0);
  ASSERT_EQ(display.packages.size(), 1u);
  EXPECT_EQ(display.packages[0].versions, (std::vector<std::string>{"1.0**", "2.0**"}));
}

}  // namespace
}  // namespace Kyrowan
