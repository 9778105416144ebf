#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Kyrowan {

/// The reserved version text that stands for "the latest".
inline constexpr const char* kLatestVersion = "0.0.0";
inline constexpr const wchar_t* kLatestVersionWide = L"0.0.0";

/// The numeric components of a dot-separated version text; never fails.
std::vector<std::uint32_t> ParseVersion(std::string_view version);
/// Whether `a` orders strictly before `b` (missing components count as 0).
bool IsVersionLower(std::string_view a, std::string_view b);
/// Sorts ascending under IsVersionLower; equal versions keep their order.
void SortVersions(std::vector<std::string>& versions);

}  // namespace Kyrowan
