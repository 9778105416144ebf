#include "catalogue/version.h"

#include <algorithm>

namespace Kyrowan {

namespace {

constexpr std::uint32_t kComponentMax = 0xFFFFFFFFu;

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The C library's unsigned conversion in base 10, computed on a 32-bit result
// so that it agrees on every platform whatever the width of `unsigned long`.
// Bytes above 0x7F are neither blanks nor digits, so reading the narrow text
// gives the same numbers as reading its one-unit-per-byte widening.
std::uint32_t ParseComponent(std::string_view piece) {
  std::size_t at = 0;
  while (at < piece.size() && IsBlank(piece[at])) ++at;
  bool negative = false;
  if (at < piece.size() && (piece[at] == '+' || piece[at] == '-')) negative = piece[at++] == '-';
  std::uint64_t value = 0;
  bool overflow = false;
  for (; at < piece.size() && piece[at] >= '0' && piece[at] <= '9'; ++at) {
    value = value * 10 + static_cast<std::uint64_t>(piece[at] - '0');
    if (value > kComponentMax) {
      overflow = true;
      value = kComponentMax;  // keeps the product in range; the rest are still digits to skip
    }
  }
  if (overflow) return kComponentMax;
  const auto result = static_cast<std::uint32_t>(value);
  return negative ? static_cast<std::uint32_t>(0u - result) : result;
}

}  // namespace

std::vector<std::uint32_t> ParseVersion(std::string_view version) {
  std::vector<std::uint32_t> components;
  std::size_t start = 0;
  while (start < version.size()) {
    std::size_t dot = version.find('.', start);
    if (dot == std::string_view::npos) dot = version.size();
    components.push_back(ParseComponent(version.substr(start, dot - start)));
    start = dot + 1;
  }
  return components;
}

bool IsVersionLower(std::string_view a, std::string_view b) {
  std::vector<std::uint32_t> left = ParseVersion(a);
  std::vector<std::uint32_t> right = ParseVersion(b);
  const std::size_t length = std::max(left.size(), right.size());
  left.resize(length, 0);
  right.resize(length, 0);
  return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end());
}

void SortVersions(std::vector<std::string>& versions) {
  // Stable: equal versions ("1", "1.0") keep the order they were recorded in, so
  // re-sorting a saved catalogue never swaps them and "the latest" stays the same text.
  std::stable_sort(versions.begin(), versions.end(),
            [](const std::string& a, const std::string& b) { return IsVersionLower(a, b); });
}

}  // namespace Kyrowan
