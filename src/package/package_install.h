#pragma once

#include <string>
#include <vector>

#include "catalogue/pkg_result.h"

namespace Kyrowan {

/// Fetches a package file from the server path `url` into `archivePath`,
/// creating the folders above it first.
bool DownloadPackageFile(const std::wstring& url, const std::wstring& archivePath);

/// The folders above `path` that do not exist yet, innermost first.
std::vector<std::wstring> MissingFoldersAbove(const std::wstring& path);
/// Removes each of `folders` that is empty, in order; what holds anything stays.
void RemoveEmptyFolders(const std::vector<std::wstring>& folders);

/// Replaces whatever is at `newFolder` with `oldFolder`: PkgOperationSucceeded,
/// or PkgInstallFailed when the old content cannot be removed or the move fails.
PkgResult_e MoveInstallFolder(const std::wstring& oldFolder, const std::wstring& newFolder);

}  // namespace Kyrowan
