#pragma once

#include <string>
#include <vector>

namespace Kyrowan {

/// Splits a decryptor's argument text at spaces; double quotes group text that
/// holds spaces. False for an empty text (`arguments` untouched) or when no
/// argument came out.
bool SplitArguments(const std::wstring& text, std::vector<std::wstring>& arguments);

}  // namespace Kyrowan
