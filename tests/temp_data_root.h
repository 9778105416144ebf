#pragma once

#include <cstdlib>
#include <string>

#include "platform/file_system.h"
#include "platform/text.h"

namespace Kyrowan::Testing {

/// Points PROGRAMDATA at a fresh temporary folder for the life of the object,
/// so the data root of the tool lies inside it.
class TempDataRoot {
 public:
  TempDataRoot() {
    if (const char* old = std::getenv("PROGRAMDATA")) saved_ = old, hadOld_ = true;
    char pattern[] = "/tmp/kyr-data-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) folder_ = pattern;
    ::setenv("PROGRAMDATA", folder_.c_str(), 1);
  }
  ~TempDataRoot() {
    Windows::RemoveFolderTree(Windows::FromUtf8(folder_));
    if (hadOld_) {
      ::setenv("PROGRAMDATA", saved_.c_str(), 1);
    } else {
      ::unsetenv("PROGRAMDATA");
    }
  }
  TempDataRoot(const TempDataRoot&) = delete;
  TempDataRoot& operator=(const TempDataRoot&) = delete;

  /// The tool's data root inside the temporary folder.
  std::wstring DataRoot() const { return Windows::FromUtf8(folder_) + Windows::kDataFolderSuffix; }
  /// The "data" folder under the data root.
  std::wstring DataFolder() const { return DataRoot() + Windows::kPathSeparator + L"data"; }

 private:
  std::string folder_;
  std::string saved_;
  bool hadOld_ = false;
};

}  // namespace Kyrowan::Testing
