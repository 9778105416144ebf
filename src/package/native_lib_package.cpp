#include "package/native_lib_package.h"

#include "package/package_paths.h"
#include "protocol/server_protocol.h"

namespace Kyrowan {

NativeKyrLibPackage::NativeKyrLibPackage(const std::wstring& name, const std::wstring& version)
    : GenericPackageElement<LibPkgInfo_s>(PkgKindNativeLibrary, name, version) {
  NativeKyrLibPackage::SetUpPaths();
}

bool NativeKyrLibPackage::SetUpPaths() {
  libraryFolder.clear();
  if (!AdoptFolders(kLibrariesFolder)) {
    ClearPaths();
    return false;
  }
  downloadUrl = Protocol::LibraryDownloadPath(name, version);
  libraryFolder = filesFolder;
  return !libraryFolder.empty();
}

}  // namespace Kyrowan
