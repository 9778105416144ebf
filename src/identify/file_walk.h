#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace Kyrowan::Windows {
class EntryHandle;
}

namespace Kyrowan::Identify {

/// The most files one run looks at; the walk stops there and says so.
inline constexpr std::size_t kMaxScannedFiles = 100000;

/// What a walk went through.
struct WalkSummary {
  std::size_t files = 0;       ///< files handed to the visitor and read
  std::size_t unreadable = 0;  ///< files and folders inside the given folders that could not be read
  std::size_t skipped = 0;     ///< links, devices and pipes inside the given folders, never followed
  bool limitReached = false;   ///< the walk stopped at its file limit
};

/// Receives each file found, open, and its name; false when the file could not be read.
using FileVisitor = std::function<bool(const Windows::EntryHandle& file, const std::string& name)>;

/// Visits the files at and under `paths` (the file system's own bytes on POSIX, UTF-8 on
/// Windows), each given path followed even if it is a link, nothing inside a folder
/// followed: every entry is opened through its folder's handle and judged through its
/// own, so entries swapped meanwhile never lead outside. A path given twice or inside
/// another given folder is walked once. Stops after `maxFiles` files. False,
/// with `failedPath` set, when a given path is missing, unreadable, or neither a file
/// nor a folder (nothing is visited when one is missing or of another kind).
bool WalkPaths(const std::vector<std::string>& paths, std::size_t maxFiles, const FileVisitor& visit,
               WalkSummary& summary, std::string& failedPath);

}  // namespace Kyrowan::Identify
