#pragma once

#include <filesystem>
#include <string>

namespace Kyrowan::Kyrpack {

/// Writes `bytes` at `relative` below `root` unless it already holds exactly them, and
/// says so in `report`. A reader of the tree gets the old file or the new one, never a part.
bool PutTreeFile(const std::filesystem::path& root, const std::string& relative, const std::string& bytes,
                 std::string& report, std::string& error);

}  // namespace Kyrowan::Kyrpack
