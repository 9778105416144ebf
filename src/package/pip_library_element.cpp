#include "package/package_element_factory.h"

#include "package/package_element.h"

namespace Kyrowan {

// The one place the pip library element (PythonRunLibPackage) joins the
// factory. Until pip libraries are supported no element is made, so such a
// dependency is skipped like any other unknown one.
std::shared_ptr<IKyrDecryptPackageElement> MakePipLibraryElement(const std::wstring& /*name*/,
                                                                 const std::wstring& /*version*/) {
  return nullptr;
}

}  // namespace Kyrowan
