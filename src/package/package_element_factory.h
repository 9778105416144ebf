#pragma once

#include <memory>
#include <string>

namespace Kyrowan {

class IKyrDecryptPackageElement;

/// Makes the element of `kind` (PkgKind_e) for a name and version; false, with
/// `out` empty, for an unknown kind, an empty or unsafe name or version, or a
/// Python runtime asked for as "0.0.0".
bool CreatePackageElement(int kind, const std::wstring& name, const std::wstring& version,
                          std::shared_ptr<IKyrDecryptPackageElement>& out);

}  // namespace Kyrowan
