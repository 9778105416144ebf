#pragma once

#include <string>
#include <vector>

#include "package/manifest.h"

namespace Kyrowan::Kyrpack {

/// Records in the pip dependencies the SHA-256 of the wheel or sdist files `pipFiles` names,
/// each "NAME=PATH": every digest of a library sorted and once, so pip installs nothing else.
/// False with `error` set for a file that is missing, is no .whl, .tar.gz or .zip, or whose
/// library is no pip dependency.
bool RecordPipDigests(const std::vector<std::string>& pipFiles, std::vector<DependencyEntry_s>& dependencies,
                      std::string& error);

/// One line for each pip dependency without digests, which pip installs from whatever it finds.
std::string UnhashedPipWarnings(const std::vector<DependencyEntry_s>& dependencies);

}  // namespace Kyrowan::Kyrpack
