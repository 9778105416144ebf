#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/server_protocol.h"

namespace Kyrowan {

/// The numeric components of a dot-separated version text; never fails.
std::vector<std::uint32_t> ParseVersion(std::string_view version);
/// Whether `a` orders strictly before `b` (missing components count as 0).
bool IsVersionLower(std::string_view a, std::string_view b);
/// Sorts ascending under IsVersionLower; equal versions keep their order.
void SortVersions(std::vector<std::string>& versions);

}  // namespace Kyrowan
