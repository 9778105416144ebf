#include "runtime/library_folders.h"

#include "platform/text.h"

namespace Kyrowan {

bool LibraryFolders::Add(const std::wstring& folder) {
  if (folder.empty()) return false;
  folders.emplace(Windows::ToLowerText(folder), folder);
  return true;
}

bool LibraryFolders::Remove(const std::wstring& folder) {
  return !folder.empty() && folders.erase(Windows::ToLowerText(folder)) == 1;
}

std::vector<std::wstring> LibraryFolders::InOrder() const {
  std::vector<std::wstring> texts;
  texts.reserve(folders.size());
  for (const auto& entry : folders) texts.push_back(entry.second);
  return texts;
}

}  // namespace Kyrowan
