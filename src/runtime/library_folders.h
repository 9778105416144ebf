#pragma once

#include <map>
#include <string>
#include <vector>

namespace Kyrowan {

/// The folders registered with a runtime. Keyed by the lower-cased text, so a
/// folder given twice in different case is one entry, but the text kept is the
/// one first given: on a case-sensitive file system only that one names it.
/// Not locked: the owning runtime guards it.
class LibraryFolders {
 public:
  /// Registers `folder`; false for an empty text, true when it was already there.
  bool Add(const std::wstring& folder);
  /// Unregisters `folder` in any case; false when it was not registered.
  bool Remove(const std::wstring& folder);
  void Clear() { folders.clear(); }
  /// The registered folders as given, in the order of their keys.
  std::vector<std::wstring> InOrder() const;

 private:
  std::map<std::wstring, std::wstring> folders;
};

}  // namespace Kyrowan
