#pragma once

#include <cstdint>
#include <string>

#include "package/package_header.h"

namespace Kyrowan {

namespace Windows {
class MappedFile;
}

/// Checks a package file opened with OpenUnmapped: its header, then the signature over
/// its payload with the embedded key. Without a loaded key nothing passes.
bool VerifyPackageFile(const Windows::MappedFile& package, PackageFileHeader& header);

/// Checks a downloaded package file (header, then the signature over its zip
/// payload) and only then unpacks the payload into `destinationFolder`.
/// `label` ("<name> <version>") names the package in the cause of a refusal.
bool VerifyAndUnpackPackage(const std::wstring& packagePath, const std::wstring& destinationFolder,
                            std::wstring_view label = L"file");

/// Notes that the package `label` was refused because the file at `path` failed its signature check.
void RecordSignatureFailure(std::wstring_view label, std::wstring_view path);

}  // namespace Kyrowan
