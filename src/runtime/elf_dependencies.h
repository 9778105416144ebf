#pragma once

#include <string>
#include <vector>

namespace Kyrowan {

/// What a shared library file says about linking: the names it needs and its own name.
struct LibraryLinkInfo {
  std::vector<std::string> needed;
  std::string soname;
};

/// Reads the dynamic section of a shared library of this machine's class and
/// byte order without loading it. False for anything that is not one.
bool ReadLibraryLinkInfo(const std::wstring& path, LibraryLinkInfo& info);

}  // namespace Kyrowan
