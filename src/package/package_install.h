#pragma once

#include <string>

#include "catalogue/pkg_result.h"

namespace Kyrowan {

/// Fetches a package file from the server path `url` into `archivePath`,
/// creating the folders above it first.
bool DownloadPackageFile(const std::wstring& url, const std::wstring& archivePath);

/// Replaces whatever is at `newFolder` with `oldFolder`: PkgOperationSucceeded,
/// or PkgInstallFailed when the old content cannot be removed or the move fails.
PkgResult_e MoveInstallFolder(const std::wstring& oldFolder, const std::wstring& newFolder);

}  // namespace Kyrowan
