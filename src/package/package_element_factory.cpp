#include "package/package_element_factory.h"

#include <initializer_list>
#include <utility>

#include "package/decryptor_package.h"
#include "package/native_lib_package.h"
#include "package/package_paths.h"
#include "package/python_lib_package.h"
#include "package/python_run_lib_package.h"
#include "package/python_runtime_package.h"
#include "platform/failure_causes.h"
#include "protocol/server_protocol.h"
#include "runtime/runtime.h"

namespace Kyrowan {

namespace {

std::shared_ptr<IKyrDecryptPackageElement> MakeElement(int kind, const std::wstring& name,
                                                       const std::wstring& version) {
  switch (kind) {
    case PkgKindDecryptor:
      return std::make_shared<DecryptorPackage>(name, version);
    case PkgKindPipLibrary:
      return std::make_shared<PythonRunLibPackage>(name, version);
    case PkgKindPythonLibrary:
      return std::make_shared<PythonKyrLibPackage>(name, version);
    case PkgKindNativeLibrary:
      return std::make_shared<NativeKyrLibPackage>(name, version);
    case PkgKindPythonRuntime:
      if (version == kLatestVersionWide) return nullptr;
      return std::make_shared<PythonRuntimePackage>(name, version);
    default:
      return nullptr;
  }
}

}  // namespace

int DependencyElementKind(int dependencyType, int runtimeType) {
  if (dependencyType == 1 && runtimeType == RuntimeTypePython) return PkgKindPipLibrary;
  if (dependencyType == 2 && runtimeType == RuntimeTypePython) return PkgKindPythonLibrary;
  if (dependencyType == 2 && runtimeType == RuntimeTypeNative) return PkgKindNativeLibrary;
  return 0;
}

bool CreatePackageElement(int kind, const std::wstring& name, const std::wstring& version,
                          std::shared_ptr<IKyrDecryptPackageElement>& out) {
  out.reset();
  if (name.empty() || version.empty()) return false;
  // Names and versions become folder names: refuse any that could leave the data root.
  for (const auto& [what, text] : {std::pair{L"name", &name}, std::pair{L"version", &version}}) {
    if (IsSafeFolderName(*text)) continue;
    Windows::RecordCause(std::wstring(L"the ") + what + L" \"" + *text + L"\" cannot be a folder name");
    return false;
  }
  out = MakeElement(kind, name, version);
  return out != nullptr;
}

}  // namespace Kyrowan
