#include "platform/text.h"

#include <cstdint>
#include <cwctype>

namespace Kyrowan::Windows {

std::string ToNarrow(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) out.push_back(static_cast<char>(static_cast<unsigned char>(c & 0xFF)));
  return out;
}

std::wstring ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  // Sign extension, as a 16-bit wide character would get it.
  for (char c : text) out.push_back(static_cast<wchar_t>(static_cast<std::uint16_t>(static_cast<std::int16_t>(c))));
  return out;
}

void ToLowerText(std::wstring_view text, std::wstring& out) {
  if (text.empty()) return;
  std::wstring lowered;
  lowered.reserve(text.size());
  for (wchar_t c : text) lowered.push_back(static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))));
  out = std::move(lowered);
}

std::wstring ToLowerText(std::wstring_view text) {
  std::wstring out;
  ToLowerText(text, out);
  return out;
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

namespace {
template <typename Char>
bool EqualsIgnoreAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  auto lower = [](Char c) { return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}
}  // namespace

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b) { return EqualsIgnoreAsciiCase(a, b); }
bool EqualsIgnoreCase(std::string_view a, std::string_view b) { return EqualsIgnoreAsciiCase(a, b); }

bool TextBefore(std::wstring_view text, std::wstring_view delimiter, std::wstring& out) {
  out.clear();
  if (text.empty() || delimiter.empty()) return false;
  const auto at = text.find(delimiter);
  if (at == std::wstring_view::npos) return false;
  out.assign(text.substr(0, at));
  return !out.empty();
}

std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(text[i]);
    // A 16-bit wchar_t platform hands surrogate pairs; join them.
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
        char32_t low = static_cast<char32_t>(text[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::wstring FromUtf8(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
    char32_t c = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      else c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are refused: an
    // overlong NUL would otherwise cut a path or an argument short.
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (valid && (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
    if (!valid) {
      out.push_back(static_cast<wchar_t>(0xFFFD));
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
        continue;
      }
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

std::string PrintableText(std::string_view text) {
  // Decoding turns every byte that is not UTF-8 into U+FFFD; that is replaced as well.
  std::wstring wide = FromUtf8(text);
  for (wchar_t& c : wide)
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFFFD) c = L'?';
  return ToUtf8(wide);
}

}  // namespace Kyrowan::Windows
