#include "package/package_install.h"

#include "platform/file_system.h"
#include "platform/http_client.h"

namespace Kyrowan {

using namespace Windows;

namespace {

std::wstring WithoutTrailingSeparator(std::wstring folder) {
  while (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
  return folder;
}

}  // namespace

bool DownloadPackageFile(const std::wstring& url, const std::wstring& archivePath) {
  std::wstring parent;
  // Without a parent to create, the download itself decides.
  if (GetParentFolder(archivePath, parent) && !CreateFolderTree(parent)) return false;
  return ServerDownloadToFile(url, archivePath);
}

std::vector<std::wstring> MissingFoldersAbove(const std::wstring& path) {
  std::vector<std::wstring> missing;
  std::wstring folder = path, parent;
  while (GetParentFolder(folder, parent) && !PathExists(parent)) {
    missing.push_back(parent);
    folder = parent;
  }
  return missing;
}

void RemoveEmptyFolders(const std::vector<std::wstring>& folders) {
  for (const std::wstring& folder : folders) RemoveEmptyFolder(folder);
}

PkgResult_e MoveInstallFolder(const std::wstring& oldFolder, const std::wstring& newFolder) {
  const std::wstring from = WithoutTrailingSeparator(oldFolder);
  const std::wstring to = WithoutTrailingSeparator(newFolder);
  // A folder that cannot be cleared is a failed install, not the end of the process.
  if (!RemoveFolderTree(to)) return PkgInstallFailed;
  return MovePath(from, to) ? PkgOperationSucceeded : PkgInstallFailed;
}

}  // namespace Kyrowan
