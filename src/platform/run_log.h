#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Kyrowan::Windows {

/// How large a log may grow before it is moved aside.
inline constexpr std::uint64_t kRunLogMaxBytes = 1u << 20;

/// Appends `lines` (UTF-8, each ended by "\n") to the log at `path` in one write, so
/// the lines of runs at the same time do not interleave. A log that would grow past
/// `maxBytes` is first moved to `path` + ".1", replacing the older copy. False when
/// the log could not be written; the caller carries on regardless.
bool AppendToRunLog(const std::wstring& path, std::string_view lines, std::uint64_t maxBytes = kRunLogMaxBytes);

}  // namespace Kyrowan::Windows
