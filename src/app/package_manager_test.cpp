#include "app/package_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/scoped_temp.h"

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

  Testing::TempFolder data;
  Testing::ScopedEnv programData{"PROGRAMDATA", data.Path().string()};
  const fs::path dataFolder = data.Path() / "Kyrowan" / "KyrDecrypt" / "data";
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

}  // namespace
}  // namespace Kyrowan
