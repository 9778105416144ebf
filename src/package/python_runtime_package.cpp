#include "package/python_runtime_package.h"

#include <mutex>

#include "package/package_paths.h"
#include "protocol/server_protocol.h"
#include "runtime/python_runtime.h"

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

void UsePythonRuntimePackages() {
  static std::once_flag once;
  std::call_once(once, [] {
    SetPythonRuntimePackageFinder([](const std::wstring& name, const std::wstring& version, std::wstring& filesFolder) {
      // A files-only element: its destruction leaves the runtime registry alone.
      PythonRuntimePackage package(name, version);
      if (package.Validate() != PkgOperationSucceeded) return false;
      filesFolder = package.GetFilesFolder();
      return true;
    });
  });
}

}  // namespace Kyrowan
