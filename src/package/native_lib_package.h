#pragma once

#include <string>

#include "package/generic_package_element.h"

namespace Kyrowan {

/// A native library package from the server (kind 4); its files folder is a
/// folder the native runtime loads libraries from.
class NativeKyrLibPackage : public GenericPackageElement<LibPkgInfo_s> {
 public:
  NativeKyrLibPackage(const std::wstring& name, const std::wstring& version);
  bool SetUpPaths() override;
};

}  // namespace Kyrowan
