#pragma once

#include <string>
#include <string_view>

#include "kyrpack/packer.h"
#include "protocol/server_protocol.h"

namespace Kyrowan::Tree {

using Kyrpack::PackageKind;

/// The tree's file paths are the client's request paths, relative to the tree's root.
/// The package list.
std::string ListPath();
/// The signed identification index: each decryptor's hints, as a package file around JSON.
std::string IdentifyPath();
/// The hints the index is made from, as the publisher set them (plain JSON, not signed).
std::string HintsSourcePath();
/// The file kyrpack's writers lock to take turns on the tree; no request path names it.
std::string LockPath();
/// The latest version text of a decryptor (the version alone, no line end).
std::string LatestVersionPath(const std::string& name);
/// The folder holding one folder per package of that kind, which holds one file per
/// version plus "0.0.0" for the latest.
std::string DownloadRoot(PackageKind kind);
/// One version of a package; "0.0.0" is a copy of the latest one.
std::string DownloadPath(PackageKind kind, const std::string& name, const std::string& version);

/// Whether a name or version taken from a request path may name a file of the tree.
using Protocol::IsSafePathPart;

}  // namespace Kyrowan::Tree
