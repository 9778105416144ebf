#include "package/package_paths.h"

#include "platform/file_system.h"
#include "platform/text.h"

namespace Kyrowan {

using Windows::kPathSeparator;

bool IsSafeFolderName(std::wstring_view text) {
  if (text.empty() || text == L"." || text == L"..") return false;
  return text.find_first_of(std::wstring_view(L"/\\\0", 3)) == std::wstring_view::npos;
}

bool IsSamePath(std::wstring_view a, std::wstring_view b) {
#ifdef _WIN32
  return Windows::EqualsIgnoreCase(a, b);
#else
  return a == b;
#endif
}

bool GetDataSubfolder(std::wstring_view folder, std::wstring& out) {
  std::wstring root;
  if (!Windows::GetDataFolder(Windows::kDataFolderSuffix, root)) return false;
  out = root + kPathSeparator + std::wstring(folder);
  return true;
}

bool BuildPackageFolders(std::wstring_view typeFolder, const std::wstring& name, const std::wstring& version,
                         PackageFolders& out) {
  out = PackageFolders{};
  // Names and versions come from the command line, the server and manifests:
  // none of them may steer a folder outside the data root.
  if (!IsSafeFolderName(name) || !IsSafeFolderName(version)) return false;
  std::wstring typeRoot;
  if (!GetDataSubfolder(typeFolder, typeRoot)) return false;
  out.installFolder = typeRoot + kPathSeparator + name + kPathSeparator + version + kPathSeparator;
  out.filesFolder = out.installFolder + name + kPathSeparator;
  out.manifestPath = out.filesFolder + L"manifest.json";
  out.archivePath = out.installFolder + name + L".zip";
  return true;
}

std::wstring LibraryDownloadPath(std::wstring_view prefix, const std::wstring& name, const std::wstring& version) {
  return std::wstring(prefix) + kServerPathArch + L"/" + name + L"/" + version;
}

}  // namespace Kyrowan
