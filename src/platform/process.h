#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Kyrowan::Windows {

/// What an executable's file name ends with on this platform ("python" + this).
#ifdef _WIN32
inline constexpr const wchar_t* kExecutableSuffix = L".exe";
#else
inline constexpr const wchar_t* kExecutableSuffix = L"";
#endif

/// The status of a child that failed abnormally: exit status 255 or death by a signal.
inline constexpr std::uint32_t kProcessFailureStatus = 0xFFFFFFFFu;

/// Starts `program` (full path) with `arguments` (after the program itself),
/// sharing the tool's environment, folder and console, and waits for it.
/// False when it could not be started; otherwise `status` is its exit status.
bool RunProcess(const std::wstring& program, const std::vector<std::wstring>& arguments, std::uint32_t& status);

#ifdef _WIN32
/// The command line the child's parser splits back into `program` and `arguments`.
std::wstring QuoteCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments);
#endif

}  // namespace Kyrowan::Windows
