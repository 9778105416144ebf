#pragma once

#include <string>
#include <vector>

namespace Kyrowan::Kyrpack {

struct PackFacts;

/// Why the client would refuse to install or run a package with these facts whose
/// files are `fileNames` (relative, "/" between folders); empty when it would not.
std::string ClientRefusal(const PackFacts& facts, const std::vector<std::string>& fileNames);

}  // namespace Kyrowan::Kyrpack
