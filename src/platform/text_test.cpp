#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

namespace Kyrowan::Windows {
namespace {

TEST(TextTest, NarrowAndWideConvertOneCodeUnitPerByte) {
  EXPECT_EQ(ToWide("\xE9"), std::wstring(1, static_cast<wchar_t>(0xFFE9)));
  EXPECT_EQ(ToWide("\x7F"), L"\x7F");
  EXPECT_EQ(ToNarrow(L"\u0141"), "\x41");
  EXPECT_EQ(ToNarrow(ToWide("stampado-1.0.0\xFF")), "stampado-1.0.0\xFF");
  EXPECT_EQ(ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  EXPECT_EQ(ToWide(""), L"");
  EXPECT_EQ(ToNarrow(L""), "");
}

TEST(TextTest, LoweringChangesOnlyAsciiLetters) {
  std::wstring out = L"kept";
  ToLowerText(L"", out);
  EXPECT_EQ(out, L"kept");
  ToLowerText(L"StAmPaDo-\u00C9Z@[", out);
  EXPECT_EQ(out, L"stampado-\u00C9z@[");
  EXPECT_EQ(ToLowerAscii("ABC\xC9xyz"), "abc\xC9xyz");
  EXPECT_TRUE(EqualsIgnoreCase(L"Stampado", L"sTAMPADO"));
  EXPECT_FALSE(EqualsIgnoreCase("stampado", "stampad"));
  EXPECT_FALSE(EqualsIgnoreCase("[", "{"));  // 0x5B and 0x7B differ by the case bit only
}

TEST(TextTest, TextBeforeTheFirstDelimiter) {
  std::wstring out = L"stale";
  EXPECT_TRUE(TextBefore(L"name==1.0==x", L"==", out));
  EXPECT_EQ(out, L"name");
  EXPECT_FALSE(TextBefore(L"==1.0", L"==", out));
  EXPECT_EQ(out, L"");
  out = L"stale";
  EXPECT_FALSE(TextBefore(L"name", L"==", out));
  EXPECT_EQ(out, L"");
  EXPECT_FALSE(TextBefore(L"", L"=", out));
  EXPECT_FALSE(TextBefore(L"a=b", L"", out));
}

TEST(TextTest, Utf8RoundTripsEveryPlane) {
  const std::wstring text = L"a\u00E9\u20AC\U0001F512";
  EXPECT_EQ(ToUtf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x94\x92");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
}

TEST(TextTest, MalformedUtf8BecomesReplacementCharacters) {
  const std::wstring bad(1, static_cast<wchar_t>(0xFFFD));
  EXPECT_EQ(FromUtf8("a\xFF"), L"a" + bad);
  EXPECT_EQ(FromUtf8("\xE2\x82"), bad + bad);  // cut short
  // An overlong NUL must not turn into a real one that cuts the text short.
  EXPECT_EQ(FromUtf8("-help\xC0\x80x"), L"-help" + bad + bad + L"x");
  EXPECT_EQ(FromUtf8("\xE0\x80\xAF"), bad + bad + bad);        // overlong '/'
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), bad + bad + bad);        // a surrogate
  EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), bad + bad + bad + bad);  // past U+10FFFF
}

TEST(TextTest, PrintableTextReplacesControlsAndBrokenUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"stampado 1.0.0", "stampado 1.0.0"},
      {"\x1b]0;owned\x07\x1b[2J", "?]0;owned??[2J"},     // C0, the escape character above all
      {"a\tb\rc\nd\x7f", "a?b?c?d?"},                  // C0 and DEL
      {"x\xC2\x9B" "31m\xC2\x85", "x?31m?"},            // C1, decoded
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x92", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x92"},
      {"bad\x9B\xFF\xE2\x82", "bad????"},               // raw bytes that are not UTF-8
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(PrintableText(text), shown) << text;
}

}  // namespace
}  // namespace Kyrowan::Windows
