#include "package/python_runtime_package.h"

#include "package/package_paths.h"
#include "protocol/server_protocol.h"

namespace Kyrowan {

PythonRuntimePackage::PythonRuntimePackage(const std::wstring& name, const std::wstring& version)
    : GenericPackageElementOnlyFiles<RuntimePkgInfo_s>(PkgKindPythonRuntime, name, version) {
  PythonRuntimePackage::SetUpPaths();
}

bool PythonRuntimePackage::SetUpPaths() {
  if (!AdoptFolders(L"runtimes")) {
    ClearPaths();
    return false;
  }
  downloadUrl = Protocol::RuntimeDownloadPath(name, version);
  return true;
}

}  // namespace Kyrowan
