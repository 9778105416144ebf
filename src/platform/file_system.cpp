#include "platform/file_system.h"

#include <utility>

namespace Kyrowan::Windows {

namespace {

std::wstring& DataFolderForTesting() {
  static std::wstring folder;
  return folder;
}

}  // namespace

std::wstring SetApplicationDataFolderForTesting(const std::wstring& folder) {
  return std::exchange(DataFolderForTesting(), folder);
}

bool GetDataFolder(std::wstring_view suffix, std::wstring& out) {
  std::wstring root = DataFolderForTesting();
  if (root.empty() && !GetMachineDataFolder(root)) return false;
  out = root + std::wstring(suffix);
  return true;
}

}  // namespace Kyrowan::Windows
