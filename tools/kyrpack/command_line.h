#pragma once

#include <string>
#include <vector>

namespace Kyrowan::Kyrpack {

/// Exit codes of kyrpack.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

/// Runs one kyrpack command (the arguments after the program name); what it has to
/// say goes to `out`, what went wrong to `err`. Returns the exit code.
int RunCommand(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace Kyrowan::Kyrpack
