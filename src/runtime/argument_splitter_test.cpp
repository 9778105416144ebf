#include "runtime/argument_splitter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace Kyrowan {
namespace {

using Arguments = std::vector<std::wstring>;

Arguments Split(const std::wstring& text) {
  Arguments arguments{L"stale"};
  const bool result = SplitArguments(text, arguments);
  EXPECT_EQ(result, !arguments.empty()) << text;
  return arguments;
}

TEST(ArgumentSplitterTest, SplitsAtSingleSpacesOnly) {
  EXPECT_EQ(Split(L"-e key123"), (Arguments{L"-e", L"key123"}));
  EXPECT_EQ(Split(L"  a   b  "), (Arguments{L"a", L"b"}));
  EXPECT_EQ(Split(L"a\tb"), (Arguments{L"a\tb"}));
  EXPECT_EQ(Split(L"a\\b c:\\x"), (Arguments{L"a\\b", L"c:\\x"}));
}

TEST(ArgumentSplitterTest, EmptyTextLeavesTheOutputUntouched) {
  Arguments arguments{L"kept"};
  EXPECT_FALSE(SplitArguments(L"", arguments));
  EXPECT_EQ(arguments, (Arguments{L"kept"}));
  EXPECT_FALSE(SplitArguments(L"    ", arguments));
  EXPECT_TRUE(arguments.empty());
}

TEST(ArgumentSplitterTest, QuotedSectionsKeepTheirSpaces) {
  EXPECT_EQ(Split(L"-p \"C:\\My Files\\x\" -v"), (Arguments{L"-p", L"C:\\My Files\\x", L"-v"}));
  EXPECT_EQ(Split(L"\"  two  leading\""), (Arguments{L"  two  leading"}));
  EXPECT_EQ(Split(L"\"a b\" \"c d\" \"e\""), (Arguments{L"a b", L"c d", L"e"}));
}

TEST(ArgumentSplitterTest, QuotedSectionInsideAWordIsSplicedIn) {
  EXPECT_EQ(Split(L"--out=\"a b\""), (Arguments{L"--out=a b"}));
  EXPECT_EQ(Split(L"pre\"a b\"post"), (Arguments{L"prea bpost"}));
}

TEST(ArgumentSplitterTest, EmptyQuotedSections) {
  EXPECT_EQ(Split(L"x\"\"y"), (Arguments{L"xy"}));
  EXPECT_EQ(Split(L"\"\""), (Arguments{L""}));
  EXPECT_EQ(Split(L"\"\" \"\""), (Arguments{L"", L""}));
}

TEST(ArgumentSplitterTest, UnpairedQuoteStaysAnOrdinaryCharacter) {
  EXPECT_EQ(Split(L"a \"b c"), (Arguments{L"a", L"\"b", L"c"}));
  EXPECT_EQ(Split(L"\"a b\" \"c d"), (Arguments{L"a b", L"\"c", L"d"}));
}

TEST(ArgumentSplitterTest, AdjacentSectionsKeepTheirPlaceholderForm) {
  // The span from the first to the last bar is not one placeholder.
  EXPECT_EQ(Split(L"\"a b\"\"c d\""), (Arguments{L"|a|b||c|d|"}));
}

TEST(ArgumentSplitterTest, BarsInTheTextTakePartOnceAnySectionIsQuoted) {
  EXPECT_EQ(Split(L"\"y\" x|y|z"), (Arguments{L"y", L"xyz"}));
  EXPECT_EQ(Split(L"x|y|z"), (Arguments{L"x|y|z"}));
  EXPECT_EQ(Split(L"\"y\" |"), (Arguments{L"y", L"|"}));
  // Only the outermost bars are tried: |q| is not a key, so nothing changes.
  EXPECT_EQ(Split(L"\"y\" a|y|b|q|"), (Arguments{L"y", L"a|y|b|q|"}));
}

TEST(ArgumentSplitterTest, SectionsWithTheSamePlaceholderShareOneEntry) {
  // "a b" and "a|b" both become |a|b|; the later content wins for both.
  EXPECT_EQ(Split(L"\"a b\" \"a|b\""), (Arguments{L"a|b", L"a|b"}));
}

TEST(ArgumentSplitterTest, ManyQuotedSectionsSplitInLinearTime) {
  // Searching each quote from the start took half a minute here; linear work takes milliseconds.
  std::wstring text;
  for (int i = 0; i < 400000; ++i) text += L"\"a b\" ";
  const auto start = std::chrono::steady_clock::now();
  const Arguments arguments = Split(text);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_EQ(arguments.size(), 400000u);
  EXPECT_EQ(arguments.back(), L"a b");
}

}  // namespace
}  // namespace Kyrowan
