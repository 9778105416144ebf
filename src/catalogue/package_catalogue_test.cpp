#include "catalogue/package_catalogue.h"

#include <gtest/gtest.h>

#include "tests/capture_stdout.h"

namespace Kyrowan {
namespace {

const char kNewCatalogue[] = R"({"packages":[],"version":"0.0.0"})";

PackageCatalogue Catalogue(std::vector<PackageCatalogueEntry> packages, std::string version = "0.0.0") {
  PackageCatalogue catalogue;
  catalogue.version = std::move(version);
  catalogue.packages = std::move(packages);
  return catalogue;
}

std::string Serialized(const PackageCatalogue& catalogue) {
  std::string text;
  EXPECT_TRUE(SerializeCatalogue(catalogue, text));
  return text;
}

TEST(PackageCatalogue, NewCatalogueIsTheShortText) {
  const std::string text = Serialized(PackageCatalogue{});
  EXPECT_EQ(text, kNewCatalogue);
  EXPECT_EQ(text.size(), 33u);
}

TEST(PackageCatalogue, ReadingLowersNamesAndSortingOrdersVersionsNumerically) {
  PackageCatalogue catalogue;
  ASSERT_TRUE(ParseCatalogue(R"( { "version" : "2.1", "extra": 1,
      "packages": [ { "versions": ["1.10.0", "1.9.0"], "name": "Stampado", "size": 3 } ] } )",
                             catalogue));
  SortCatalogueVersions(catalogue);
  ASSERT_EQ(catalogue.packages.size(), 1u);
  EXPECT_EQ(catalogue.packages[0].name, "stampado");
  EXPECT_EQ(catalogue.packages[0].versions, (std::vector<std::string>{"1.9.0", "1.10.0"}));
  EXPECT_EQ(Serialized(catalogue), R"({"packages":[{"name":"stampado","versions":["1.9.0","1.10.0"]}],"version":"2.1"})");
}

TEST(PackageCatalogue, ReadingIsAllOrNothing) {
  const PackageCatalogue before = Catalogue({{"kept", {"1.0"}}}, "7");
  const char* const broken[] = {
      R"({"packages":[{"name":"a","versions":["1"]}]})",               // no "version"
      R"({"packages":[{"name":"a","versions":[1]}],"version":"0"})",   // a number among versions
      R"({"packages":[{"name":"a"}],"version":"0"})",                  // no "versions"
      R"({"packages":{"name":"a","versions":[]},"version":"0"})",      // packages not an array
      R"({"packages":[{"name":1,"versions":[]}],"version":"0"})",      // name not a string
      R"({"packages":[],"version":0})",                                // version not a string
      R"({"packages":[],"version":"0.0.0")",                           // cut short
      "",
  };
  for (const char* text : broken) {
    PackageCatalogue target = before;
    EXPECT_FALSE(ParseCatalogue(text, target)) << text;
    EXPECT_EQ(Serialized(target), Serialized(before)) << text;
  }
}

TEST(PackageCatalogue, SerializingEscapesAndFailsOnlyOnInvalidText) {
  EXPECT_EQ(Serialized(Catalogue({{"a\"b", {}}})), R"({"packages":[{"name":"a\"b","versions":[]}],"version":"0.0.0"})");
  std::string text = "old";
  EXPECT_FALSE(SerializeCatalogue(Catalogue({{"\xff", {}}}), text));
  EXPECT_EQ(text, "");
}

TEST(PackageCatalogue, RecordingKeepsOneCopyAndMatchesNamesIgnoringCase) {
  PackageCatalogue catalogue = Catalogue({{"stampado", {"1.0.0"}}});
  EXPECT_TRUE(RecordVersion(catalogue, "stampado", "1.0.0"));
  EXPECT_TRUE(RecordVersion(catalogue, "STAMPADO", "1.1.0"));
  EXPECT_TRUE(RecordVersion(catalogue, "NewOne", "2.0"));
  EXPECT_FALSE(RecordVersion(catalogue, "", "1.0"));
  EXPECT_FALSE(RecordVersion(catalogue, "x", ""));
  EXPECT_EQ(Serialized(catalogue),
            R"({"packages":[{"name":"stampado","versions":["1.0.0","1.1.0"]},{"name":"NewOne","versions":["2.0"]}],)"
            R"("version":"0.0.0"})");
}

TEST(PackageCatalogue, LatestVersionComesFromTheFirstMatchingEntryOnly) {
  const PackageCatalogue catalogue = Catalogue({{"empty", {}}, {"stampado", {"1.0", "1.2"}}, {"empty", {"3.0"}}});
  EXPECT_EQ(LatestVersionOf(catalogue, "STAMPADO"), "1.2");
  EXPECT_EQ(LatestVersionOf(catalogue, "empty"), "");
  EXPECT_EQ(LatestVersionOf(catalogue, "absent"), "");
  EXPECT_EQ(LatestVersionOf(catalogue, ""), "");
}

TEST(PackageCatalogue, HasVersionLowersTheAskedNameOnly) {
  const PackageCatalogue catalogue = Catalogue({{"stampado", {"1.0"}}, {"Mixed", {"2.0"}}});
  EXPECT_TRUE(HasVersion(catalogue, "STAMPADO", "1.0"));
  EXPECT_FALSE(HasVersion(catalogue, "stampado", "1.0.0"));
  EXPECT_FALSE(HasVersion(catalogue, "Mixed", "2.0"));
}

TEST(PackageCatalogueDisplay, ServerListIsMarkedWithLocalVersions) {
  const PackageCatalogue local = Catalogue({{"stampado", {"1.0.0", "0.5"}}});
  const PackageCatalogue server = Catalogue({{"stampado", {"1.0.0", "1.1.0"}}, {"other", {"2.0"}}}, "3");
  PackageCatalogue display;
  MergeForDisplay(local, server, display);
  EXPECT_EQ(display.version, "3");
  EXPECT_EQ(Serialized(display),
            R"({"packages":[{"name":"stampado","versions":["1.0.0**","1.1.0"]},{"name":"other","versions":["2.0"]}],)"
            R"("version":"3"})");
}

TEST(PackageCatalogueDisplay, NewServerListShowsTheLocalCatalogueAllMarked) {
  const PackageCatalogue local = Catalogue({{"stampado", {"1.0", "2.0"}}}, "5");
  PackageCatalogue display;
  MergeForDisplay(local, PackageCatalogue{}, display);
  EXPECT_EQ(Serialized(display), R"({"packages":[{"name":"stampado","versions":["1.0**","2.0**"]}],"version":"5"})");

  // A server list with another version text is shown even when it has no packages.
  PackageCatalogue shown;
  MergeForDisplay(local, Catalogue({}, "1"), shown);
  EXPECT_TRUE(shown.packages.empty());
}

TEST(PackageCatalogueDisplay, PrintsHeaderNamesAndVersionLines) {
  const PackageCatalogue display =
      Catalogue({{"stampado", {"1.0.0**", "1.1.0"}}, {"single", {"1.0.0"}}, {"bare", {}}});
  const std::string out = Testing::CaptureStdout([&] { PrintCatalogue(display); });
  EXPECT_EQ(out,
            "Version marked with (**) are already present on this machine\n\n"
            "stampado\n[ 1.0.0**, 1.1.0 ]\n\n"
            "single\n[ 1.0.0 ]\n\n"
            "bare\n\n\n");
  EXPECT_EQ(Testing::CaptureStdout([] { PrintCatalogue(PackageCatalogue{}); }),
            "Version marked with (**) are already present on this machine\n\n");
}

TEST(PackageCatalogueDisplay, HostileNamesAndVersionsCannotDriveTheTerminal) {
  const PackageCatalogue display = Catalogue({{"evil\x1b[2J\xC3\xA9", {"1.0\xC2\x9B" "0m**", "\x1b]0;x\x07"}}});
  EXPECT_EQ(Testing::CaptureStdout([&] { PrintCatalogue(display); }),
            "Version marked with (**) are already present on this machine\n\n"
            "evil?[2J\xC3\xA9\n[ 1.0?0m**, ?]0;x? ]\n\n");
}

}  // namespace
}  // namespace Kyrowan
