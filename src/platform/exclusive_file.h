#pragma once

#include <string>
#include <string_view>

namespace Kyrowan::Windows {

/// Creates `path` holding `bytes`, readable and writable by its owner only.
/// Fails when anything is already there, a symbolic link included, so a file
/// of another run or user is never written through or replaced; a file left
/// half-written is removed again.
bool CreateExclusiveFile(const std::wstring& path, std::string_view bytes);

}  // namespace Kyrowan::Windows
