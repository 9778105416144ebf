#pragma once

#include <string>
#include <string_view>

namespace Kyrowan::Windows {

/// Keeps the low 8 bits of each code unit (meant for ASCII names, versions, ids).
std::string ToNarrow(std::wstring_view text);
/// One wide character per byte, by sign extension (0xE9 becomes 0xFFE9).
std::wstring ToWide(std::string_view text);
/// Lowers A-Z (the classic locale); an empty input leaves `out` unchanged.
void ToLowerText(std::wstring_view text, std::wstring& out);
std::wstring ToLowerText(std::wstring_view text);
/// Lowers ASCII A-Z of a narrow text.
std::string ToLowerAscii(std::string_view text);
/// Equality ignoring the case of ASCII letters.
bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
/// The part of `text` before the first `delimiter`; true iff that part is non-empty.
bool TextBefore(std::wstring_view text, std::wstring_view delimiter, std::wstring& out);

/// Proper UTF-8 transcoding, for wide text that crosses to the OS or the console.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);
/// UTF-8 text from outside (the server, the catalogue file) made safe to print:
/// control characters (C0, DEL, C1) and bytes that are not UTF-8 become "?", so
/// the text cannot drive a terminal; printable non-ASCII text stays as it is.
std::string PrintableText(std::string_view text);

}  // namespace Kyrowan::Windows
