#pragma once

#include <string>

#include "package/generic_package_element.h"

namespace Kyrowan {

/// A Python library package from the server (kind 3); the folder holding it
/// joins the Python search path.
class PythonKyrLibPackage : public GenericPackageElement<LibPkgInfo_s> {
 public:
  PythonKyrLibPackage(const std::wstring& name, const std::wstring& version);
  bool SetUpPaths() override;
};

}  // namespace Kyrowan
