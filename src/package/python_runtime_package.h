#pragma once

#include <string>

#include "package/files_package_element.h"

namespace Kyrowan {

/// The Python runtime package of one version (kind 5): files only.
class PythonRuntimePackage : public GenericPackageElementOnlyFiles<RuntimePkgInfo_s> {
 public:
  PythonRuntimePackage(const std::wstring& name, const std::wstring& version);
  bool SetUpPaths() override;
};

/// Lets Python runtimes find their interpreter in the installed, valid runtime package
/// of their version. Every package element calls it; the first call installs the finder.
void UsePythonRuntimePackages();

}  // namespace Kyrowan
