#include "identify/hint_index.h"

#include <gtest/gtest.h>

namespace Kyrowan::Identify {
namespace {

TEST(HintIndexTest, ReadsFamiliesLoweredAndIgnoresUnknownKeys) {
  HintIndex index;
  ASSERT_TRUE(ParseHintIndex(R"({"version":"7","future":1,"families":[
      {"decryptor":"kyrlock","family":"KyrLock","extensions":[".KYRL",""],"notes":["READ*.TXT"],
       "markers":[{"offset":-4,"hex":"4B59"}],"later":true},
      {"decryptor":"other"}]})",
                             index));
  EXPECT_EQ(index.version, "7");
  ASSERT_EQ(index.families.size(), 2u);
  const FamilyHints& first = index.families[0];
  EXPECT_EQ(first.family, "KyrLock");
  EXPECT_EQ(first.extensions, std::vector<std::string>{".kyrl"});
  EXPECT_EQ(first.notes, std::vector<std::string>{"read*.txt"});
  ASSERT_EQ(first.markers.size(), 1u);
  EXPECT_EQ(first.markers[0].offset, -4);
  EXPECT_EQ(first.markers[0].bytes, "KY");
  EXPECT_EQ(first.markers[0].hex, "4b59");
  EXPECT_EQ(index.families[1].family, "other");
}

TEST(HintIndexTest, RefusesMalformedIndexesWhole) {
  const char* const refused[] = {
      "not json",
      "[]",
      R"({"families":{}})",
      R"({"families":[{"family":"no decryptor"}]})",
      R"({"families":[{"decryptor":"two words"}]})",
      R"({"families":[{"decryptor":"x","extensions":".kyrl"}]})",
      R"({"families":[{"decryptor":"x","notes":[1]}]})",
      R"({"families":[{"decryptor":"x","markers":[{"offset":0,"hex":"4b5"}]}]})",
      R"({"families":[{"decryptor":"x","markers":[{"offset":0,"hex":"zz"}]}]})",
      R"({"families":[{"decryptor":"x","markers":[{"offset":1.5,"hex":"00"}]}]})",
      R"({"version":3,"families":[]})",
  };
  for (const char* text : refused) {
    HintIndex index;
    index.version = "kept";
    EXPECT_FALSE(ParseHintIndex(text, index)) << text;
    EXPECT_EQ(index.version, "kept") << text;
  }
}

}  // namespace
}  // namespace Kyrowan::Identify
