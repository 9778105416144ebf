#pragma once
// The signed repository metadata of this process: the chain of roots followed from the one
// the build carries, and the snapshot every tree file's answer must match. A build without
// a first root has none and never asks for it.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/trust_metadata.h"

namespace Kyrowan::Windows {

/// Whether this build checks tree files against signed repository metadata.
bool RepositoryTrustEnabled();

/// Fetches one metadata file: true with the body for a 200 answer of at most `maxBytes`;
/// false otherwise, with `status` 404 when the server has no such file.
using MetadataFetcher =
    std::function<bool(const std::wstring& path, std::uint64_t maxBytes, int& status, std::string& body)>;

/// Brings the roots and the snapshot up to date through `fetch`, once per process; later
/// calls give the first outcome. False, with the cause recorded, when they could not be
/// made current: then no tree file of this process may be trusted.
bool EnsureRepositoryTrust(const MetadataFetcher& fetch);

/// What the current snapshot lists for `treePath`; null when it lists nothing there.
const TrustedFile* ListedTreeFile(std::string_view treePath);

/// The package keys the current root names, as key blobs of the package checks; empty
/// when the root names none (the built-in key stands).
std::vector<std::vector<std::uint8_t>> TrustedPackageKeys();

/// With `tolerate`, an expired root or snapshot is used all the same and noted instead of
/// refused: for a bundle on an isolated machine, which is old by nature.
void TolerateExpiredMetadata(bool tolerate);
/// What was out of date and used all the same; empty when nothing was.
std::string ExpiredMetadataNote();

/// Forgets what this process learned and takes `firstRoot` in place of the build's first
/// root (empty: the build's), so the next Ensure starts again: for tests.
void ResetRepositoryTrustForTesting(const std::string& firstRoot);

}  // namespace Kyrowan::Windows
