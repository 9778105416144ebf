#include "package/python_lib_package.h"

#include "package/package_paths.h"
#include "protocol/server_protocol.h"

namespace Kyrowan {

PythonKyrLibPackage::PythonKyrLibPackage(const std::wstring& name, const std::wstring& version)
    : GenericPackageElement<LibPkgInfo_s>(PkgKindPythonLibrary, name, version) {
  PythonKyrLibPackage::SetUpPaths();
}

bool PythonKyrLibPackage::SetUpPaths() {
  libraryFolder.clear();
  if (!AdoptFolders(kLibrariesFolder)) {
    ClearPaths();
    return false;
  }
  downloadUrl = Protocol::LibraryDownloadPath(name, version);
  // Python imports the library's folder by name from the folder that holds it.
  libraryFolder = installFolder;
  return true;
}

}  // namespace Kyrowan
