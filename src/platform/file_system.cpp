#include "platform/file_system.h"

#include <utility>

namespace Kyrowan::Windows {

namespace {

std::wstring& DataFolderOverride() {
  static std::wstring folder;
  return folder;
}

}  // namespace

std::wstring SetApplicationDataFolder(const std::wstring& folder) {
  return std::exchange(DataFolderOverride(), folder);
}

bool GetDataFolder(std::wstring_view suffix, std::wstring& out) {
  std::wstring root = DataFolderOverride();
  if (root.empty() && !GetMachineDataFolder(root)) return false;
  out = root + std::wstring(suffix);
  return true;
}

}  // namespace Kyrowan::Windows
