#pragma once
// A bundle is a folder laid out as a published tree: each package file at the path of the
// request it answers, plus "bundle.json" for people and "wheels/" for pip libraries.

#include <string>
#include <vector>

namespace Kyrowan::Bundle {

/// The file of the bundle at `folder` that answers `requestPath`; empty when no file could.
std::wstring BundleFilePath(const std::wstring& folder, const std::wstring& requestPath);

/// The folder pip libraries are kept in.
std::wstring WheelsFolder(const std::wstring& folder);

/// One package file of a bundle.
struct BundleFile {
  std::wstring kind;  ///< "decryptor", "library" or "runtime"
  std::wstring name;
  std::wstring version;  ///< "0.0.0" for the copy of the latest one
  std::wstring path;     ///< where it lies
};

/// The package files the bundle holds, by kind, name and version.
std::vector<BundleFile> ListBundleFiles(const std::wstring& folder);

/// The versions of decryptor `name` the bundle holds (its "0.0.0" copy left out), highest first.
std::vector<std::wstring> BundledVersions(const std::wstring& folder, const std::wstring& name);

/// Copies `from` over `to` through a fresh file beside it, creating the folders above
/// `to`; a file already there with the same bytes is left alone. False on any failure,
/// with its cause recorded.
bool CopyIntoBundle(const std::wstring& from, const std::wstring& to);

}  // namespace Kyrowan::Bundle
