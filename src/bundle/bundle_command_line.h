#pragma once

#include <string>
#include <vector>

namespace Kyrowan::Bundle {

/// Runs one kyrbundle command line (the arguments after the program name) and returns
/// its exit status: 0 done, 1 something refused or missing, 2 a usage error.
int RunBundle(const std::vector<std::wstring>& arguments);

}  // namespace Kyrowan::Bundle
