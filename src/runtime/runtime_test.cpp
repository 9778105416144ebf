#include "runtime/runtime.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "runtime/utf16_text.h"

namespace Kyrowan {
namespace {

TEST(RuntimeTypeNameTest, NamesEachTypeAndNothingElse) {
  EXPECT_STREQ(RuntimeTypeName(0), L"none");
  EXPECT_STREQ(RuntimeTypeName(1), L"python");
  EXPECT_STREQ(RuntimeTypeName(2), L"native");
  EXPECT_STREQ(RuntimeTypeName(3), L"");
}

TEST(WideJsonArrayTest, HoldsUtf16CodeUnitsAndReadsThemBack) {
  const std::wstring text = L"C:\\Ab \u00e9";
  const nlohmann::json array = WideToJsonArray(text);
  EXPECT_EQ(array.dump(), "[67,58,92,65,98,32,233]");
  EXPECT_EQ(JsonArrayToWide(array), text);
  EXPECT_EQ(WideToJsonArray(L"").dump(), "[]");
}

TEST(WideJsonArrayTest, CodePointsAboveTheBasicPlaneTravelAsSurrogatePairs) {
  std::wstring text;
  if constexpr (sizeof(wchar_t) == 4) {
    text = std::wstring(1, static_cast<wchar_t>(0x1F600));
  } else {
    text = std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  }
  const nlohmann::json array = WideToJsonArray(text);
  EXPECT_EQ(array.dump(), "[55357,56832]");
  EXPECT_EQ(JsonArrayToWide(array), text);
  // An unpaired surrogate survives the round trip as it is.
  EXPECT_EQ(ToUtf16(FromUtf16(u"\xD800x")), u"\xD800x");
}

TEST(WideJsonArrayTest, OnlyAnArrayOfCodeUnitsIsAWideText) {
  EXPECT_THROW(JsonArrayToWide(nlohmann::json("text")), nlohmann::json::exception);
  EXPECT_THROW(JsonArrayToWide(nlohmann::json::parse("[65,\"B\"]")), nlohmann::json::exception);
  EXPECT_THROW(JsonArrayToWide(nlohmann::json::parse("[65,-1]")), nlohmann::json::exception);
  EXPECT_THROW(JsonArrayToWide(nlohmann::json::parse("[65,65601]")), nlohmann::json::exception);
  EXPECT_THROW(JsonArrayToWide(nlohmann::json::parse("[65.5]")), nlohmann::json::exception);
  EXPECT_THROW(JsonArrayToWide(nlohmann::json()), nlohmann::json::exception);
}

}  // namespace
}  // namespace Kyrowan
