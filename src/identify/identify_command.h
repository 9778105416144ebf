#pragma once

#include <string>
#include <vector>

namespace Kyrowan::Identify {

/// Exit statuses of kyridentify.
inline constexpr int kExitCandidates = 0;
inline constexpr int kExitNoCandidate = 1;
inline constexpr int kExitError = 2;

/// Runs kyridentify with its arguments (the program name left out: bytes as the system
/// gave them on POSIX, UTF-8 on Windows), printing to the console; returns the exit status.
int RunIdentify(const std::vector<std::string>& arguments);

}  // namespace Kyrowan::Identify
