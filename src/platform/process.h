#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Kyrowan::Windows {

/// The status of a child that failed abnormally: exit status 255 or death by a signal.
inline constexpr std::uint32_t kProcessFailureStatus = 0xFFFFFFFFu;

/// Starts `program` (full path) with `arguments` (after the program itself),
/// sharing the tool's environment, folder and console, and waits for it.
/// False when it could not be started; otherwise `status` is its exit status.
bool RunProcess(const std::wstring& program, const std::vector<std::wstring>& arguments, std::uint32_t& status);

}  // namespace Kyrowan::Windows
