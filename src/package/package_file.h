#pragma once

#include <string>

namespace Kyrowan {

/// Checks a downloaded package file (header, then the signature over its zip
/// payload) and only then unpacks the payload into `destinationFolder`.
bool VerifyAndUnpackPackage(const std::wstring& packagePath, const std::wstring& destinationFolder);

}  // namespace Kyrowan
