#pragma once

#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "platform/text.h"
#include "tests/scoped_temp.h"

namespace Kyrowan::Testing {

/// A fresh temporary folder stands for the machine's application-data folder for
/// the life of the object, so the tool's data root lies inside it.
class TempDataRoot {
 public:
  TempDataRoot() : replaced_(Windows::SetApplicationDataFolder(folder_.Wide())) {}
  ~TempDataRoot() { Windows::SetApplicationDataFolder(replaced_); }
  TempDataRoot(const TempDataRoot&) = delete;
  TempDataRoot& operator=(const TempDataRoot&) = delete;

  /// The temporary folder standing for the application-data folder.
  const std::filesystem::path& Path() const { return folder_.Path(); }
  std::string Folder() const { return Path().string(); }
  /// The tool's data root inside it (".../Kyrowan/KyrDecrypt").
  std::string DataRoot() const { return Folder() + Windows::ToUtf8(Windows::kDataFolderSuffix); }
  /// The data root's parent (".../Kyrowan").
  std::wstring DataRootParent() const { return folder_.Wide() + Windows::kPathSeparator + L"Kyrowan"; }
  /// The "data" folder under the data root.
  std::wstring DataFolder() const { return Windows::FromUtf8(DataRoot()) + Windows::kPathSeparator + L"data"; }

 private:
  TempFolder folder_;
  std::wstring replaced_;
};

}  // namespace Kyrowan::Testing
