#pragma once

#include <string>

namespace Kyrowan::Bundle {

/// Exit statuses of kyrbundle.
inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

/// fetch: puts decryptor `name` at `version` ("0.0.0": the latest) with its runtime, its
/// libraries, its pip libraries and the identification index into the bundle at `folder`,
/// each package file only after it passed every check of an install.
int FetchIntoBundle(const std::wstring& folder, const std::wstring& name, const std::wstring& version);

/// install: installs decryptor `name` at `version` (empty name: every decryptor of the
/// bundle) from the bundle at `folder` through the install pipeline, with no network,
/// and keeps the bundle's identification index.
int InstallFromBundle(const std::wstring& folder, const std::wstring& name, const std::wstring& version);

/// list: what the bundle at `folder` holds and whether each file's signature checks.
int ListBundle(const std::wstring& folder);

}  // namespace Kyrowan::Bundle
