#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Kyrowan {

/// The type folder both library kinds install under.
inline constexpr const wchar_t* kLibrariesFolder = L"libraries";

/// Whether a name or version may become one folder name under the data root:
/// not empty, no path separator of any platform, no NUL, and not "." or "..".
bool IsSafeFolderName(std::wstring_view text);

/// Whether two paths name the same file, comparing as the platform's file system does.
bool IsSamePath(std::wstring_view a, std::wstring_view b);

/// Where one package version lives locally.
struct PackageFolders {
  std::wstring installFolder;  ///< D/<type>/<name>/<version>/
  std::wstring filesFolder;    ///< installFolder + <name>/
  std::wstring manifestPath;   ///< filesFolder + "manifest.json"
  std::wstring archivePath;    ///< installFolder + <name>.zip
};

/// The folders of (name, version) under the data root's `typeFolder`, the version
/// folder in lower case where the file system tells cases apart; false when
/// there is no data root or the name or version is not a safe folder name.
bool BuildPackageFolders(std::wstring_view typeFolder, const std::wstring& name, const std::wstring& version,
                         PackageFolders& out);

/// The version folders of `name` under the data root's `typeFolder`, highest
/// first; a "0.0.0" folder is left out.
std::vector<std::wstring> InstalledVersions(std::wstring_view typeFolder, const std::wstring& name);

/// The data root followed by `folder` ("data", "decryptors", ...); false without a data root.
bool GetDataSubfolder(std::wstring_view folder, std::wstring& out);

}  // namespace Kyrowan
