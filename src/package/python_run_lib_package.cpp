#include "package/python_run_lib_package.h"

#include "protocol/server_protocol.h"
#include "runtime/python_runtime.h"
#include "runtime/runtime.h"

namespace Kyrowan {

PythonRunLibPackage::PythonRunLibPackage(const std::wstring& name, const std::wstring& version)
    : IKyrDecryptPackageElement(PkgKindPipLibrary, name, version) {}

PythonRunLibPackage::~PythonRunLibPackage() = default;

bool PythonRunLibPackage::AcquireRuntime() {
  if (runtime) return true;
  std::shared_ptr<IKyrDecryptRuntime> found;
  if (GetRuntime(RuntimeTypePython, L"python", kLatestVersionWide, found) != 1) return false;
  runtime = std::dynamic_pointer_cast<PythonRuntime>(found);
  return runtime != nullptr;
}

PkgResult_e PythonRunLibPackage::Obtain() {
  if (!AcquireRuntime()) return PkgOperationFailed;
  if (Validate() == PkgOperationSucceeded) return PkgOperationSucceeded;
  return runtime->InstallPipPackage(name, version, hashes);
}

PkgResult_e PythonRunLibPackage::CheckPresent() {
  if (!AcquireRuntime()) return PkgOperationFailed;
  return runtime->IsPipPackageInstalled(name, version);
}

PkgResult_e PythonRunLibPackage::Validate() {
  if (AcquireVerifier() && GetCachedState() == 1) return PkgOperationSucceeded;
  const PkgResult_e check = AcquireRuntime() ? runtime->IsPipPackageInstalled(name, version) : PkgOperationFailed;
  if (AcquireVerifier()) SetCachedState(check == PkgFound ? 1 : 0);
  return check == PkgFound ? PkgOperationSucceeded : PkgOperationFailed;
}

}  // namespace Kyrowan
