#include "package/package_paths.h"

#include <algorithm>

#include "catalogue/version.h"
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

namespace {

// Every lookup lowers the version it is given; where the file system tells
// cases apart, the folder must be named by that form to be found again.
std::wstring VersionFolderName(const std::wstring& version) {
#ifdef _WIN32
  return version;
#else
  return Windows::ToLowerText(version);
#endif
}

}  // namespace

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
  out.installFolder = typeRoot + kPathSeparator + name + kPathSeparator + VersionFolderName(version) + kPathSeparator;
  out.filesFolder = out.installFolder + name + kPathSeparator;
  out.manifestPath = out.filesFolder + L"manifest.json";
  out.archivePath = out.installFolder + name + L".zip";
  return true;
}

std::vector<std::wstring> InstalledVersions(std::wstring_view typeFolder, const std::wstring& name) {
  std::wstring typeRoot;
  std::vector<std::wstring> folders;
  if (!IsSafeFolderName(name) || !GetDataSubfolder(typeFolder, typeRoot) ||
      !Windows::ListSubfolders(typeRoot + kPathSeparator + name, folders))
    return {};
  std::erase(folders, std::wstring(kLatestVersionWide));
  // Sorted by name first, so that versions that order as equal come out the same way every time.
  std::sort(folders.begin(), folders.end());
  std::stable_sort(folders.begin(), folders.end(), [](const std::wstring& a, const std::wstring& b) {
    return IsVersionLower(Windows::ToNarrow(b), Windows::ToNarrow(a));
  });
  return folders;
}

}  // namespace Kyrowan
