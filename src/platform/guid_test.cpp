#include "platform/guid.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace Kyrowan::Windows {
namespace {

bool IsUpperHex(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'); }

TEST(GuidTest, BracedUpperCaseVersionFourText) {
  std::set<std::wstring> seen;
  for (int round = 0; round < 50; ++round) {
    std::wstring text;
    ASSERT_EQ(CreateGuidText(text), 0);
    ASSERT_EQ(text.size(), 38u) << text.size();
    EXPECT_EQ(text.front(), L'{');
    EXPECT_EQ(text.back(), L'}');
    for (std::size_t i = 1; i < 37; ++i) {
      if (i == 9 || i == 14 || i == 19 || i == 24) EXPECT_EQ(text[i], L'-') << i;
      else EXPECT_TRUE(IsUpperHex(text[i])) << i;
    }
    EXPECT_EQ(text[15], L'4');
    EXPECT_NE(std::wstring(L"89AB").find(text[20]), std::wstring::npos);
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 50u);
}

}  // namespace
}  // namespace Kyrowan::Windows
