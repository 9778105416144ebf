#include "catalogue/version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Kyrowan {
namespace {

using Components = std::vector<std::uint32_t>;

TEST(VersionTest, ParseSplitsAtEveryDotButAddsNoEmptyLastPiece) {
  EXPECT_EQ(ParseVersion("1.2.3"), (Components{1, 2, 3}));
  EXPECT_EQ(ParseVersion("1.2."), (Components{1, 2}));
  EXPECT_EQ(ParseVersion("1..2"), (Components{1, 0, 2}));
  EXPECT_EQ(ParseVersion(".5"), (Components{0, 5}));
  EXPECT_EQ(ParseVersion("."), (Components{0}));
  EXPECT_EQ(ParseVersion(""), Components{});
}

TEST(VersionTest, ParseReadsEachPieceLikeTheCUnsignedConversion) {
  EXPECT_EQ(ParseVersion("0-beta.10rc1.rc2"), (Components{0, 10, 0}));
  EXPECT_EQ(ParseVersion(" \t7.+8.-0"), (Components{7, 8, 0}));
  // A minus negates modulo 2^32.
  EXPECT_EQ(ParseVersion("-1.-4294967295"), (Components{4294967295u, 1}));
  EXPECT_EQ(ParseVersion("+ 5.- 5"), (Components{0, 0}));
}

TEST(VersionTest, ParseSaturatesWhatDoesNotFitIn32Bits) {
  EXPECT_EQ(ParseVersion("4294967295.4294967296.99999999999999999999999"),
            (Components{4294967295u, 4294967295u, 4294967295u}));
  // Saturation comes before the sign, as in the C library.
  EXPECT_EQ(ParseVersion("-4294967296"), (Components{4294967295u}));
  EXPECT_EQ(ParseVersion("00000000000000000000001"), (Components{1}));
}

TEST(VersionTest, ComparesComponentsNumericallyNotAsText) {
  EXPECT_TRUE(IsVersionLower("1.9", "1.10"));
  EXPECT_FALSE(IsVersionLower("1.10", "1.9"));
  EXPECT_TRUE(IsVersionLower("1.99.99", "2"));
  EXPECT_TRUE(IsVersionLower("4294967294", "99999999999"));
  EXPECT_FALSE(IsVersionLower("4294967295", "99999999999"));
}

TEST(VersionTest, MissingComponentsCountAsZero) {
  EXPECT_FALSE(IsVersionLower("1.0", "1.0.0"));
  EXPECT_FALSE(IsVersionLower("1.0.0", "1.0"));
  EXPECT_FALSE(IsVersionLower("1.0.0-beta", "1.0.0"));
  EXPECT_TRUE(IsVersionLower("", "0.0.1"));
  EXPECT_FALSE(IsVersionLower("", "0"));
  EXPECT_TRUE(IsVersionLower("1.2.", "1.2.1"));
  EXPECT_FALSE(IsVersionLower("1.2.3", "1.2.3"));
}

TEST(VersionTest, SortPutsTheLatestLast) {
  std::vector<std::string> versions{"2.0.0", "1.10.0", "1.9.0"};
  SortVersions(versions);
  EXPECT_EQ(versions, (std::vector<std::string>{"1.9.0", "1.10.0", "2.0.0"}));
}

TEST(VersionTest, SortHandlesListsLongEnoughToPartition) {
  // More than 32 entries, so the sort partitions before its insertion pass.
  std::vector<std::string> versions;
  for (int i = 99; i >= 0; --i) versions.push_back("1." + std::to_string(i));
  versions.push_back("1.50.0");
  SortVersions(versions);
  ASSERT_EQ(versions.size(), 101u);
  for (std::size_t i = 1; i < versions.size(); ++i) EXPECT_FALSE(IsVersionLower(versions[i], versions[i - 1])) << i;
  EXPECT_EQ(versions.front(), "1.0");
  EXPECT_EQ(versions.back(), "1.99");
}

TEST(VersionTest, SortKeepsEqualVersionsInTheirOrder) {
  // A hundred texts of one version ("1", "01", "1.0", "01.0", ...), enough to partition.
  std::vector<std::string> equal;
  for (int i = 0; i < 100; ++i) {
    std::string text = i % 2 ? "01" : "1";
    for (int k = 0; k < i / 2; ++k) text += ".0";
    equal.push_back(text);
  }
  std::vector<std::string> versions = equal;
  versions.push_back("0.9");
  SortVersions(versions);
  equal.insert(equal.begin(), "0.9");
  EXPECT_EQ(versions, equal);
}

}  // namespace
}  // namespace Kyrowan
