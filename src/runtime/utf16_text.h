#pragma once

#include <string>
#include <string_view>

namespace Kyrowan {

/// UTF-16 code units of a wide text. On a 32-bit wchar_t platform a code point
/// above U+FFFF becomes a surrogate pair; on a 16-bit one the units are copied.
std::u16string ToUtf16(std::wstring_view text);
/// The reverse of ToUtf16: surrogate pairs are joined where wchar_t is 32-bit;
/// an unpaired surrogate is kept as it is.
std::wstring FromUtf16(std::u16string_view units);

}  // namespace Kyrowan
