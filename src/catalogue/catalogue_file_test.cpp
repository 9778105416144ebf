#include "catalogue/catalogue_file.h"

#include <filesystem>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "tests/catalogue_file_fixture.h"

namespace Kyrowan {
namespace {

using Testing::CatalogueFileTest;
using Testing::ReadText;
using Testing::WriteText;

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

TEST(CatalogueFile, NoPathNoFile) {
  PackageCatalogue catalogue;
  EXPECT_FALSE(ReadCatalogueFile(L"", catalogue));
  EXPECT_FALSE(WriteCatalogueFile(L"", catalogue, catalogue));
}

}  // namespace
}  // namespace Kyrowan
