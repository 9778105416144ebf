#pragma once

#include <string>

#include "identify/hint_index.h"

namespace Kyrowan::Identify {

/// How reading a signed index file went.
enum class IndexLoad { Loaded, Missing, Refused };

/// Reads a signed index file: the header and the signature over the payload are checked
/// by the package-file check with the embedded key, then the payload is read as an index.
/// Refused without a key, or for a file that is too large, unsigned or not an index.
/// `fileBytes`, when given, receives the whole verified file.
IndexLoad LoadSignedIndex(const std::wstring& path, HintIndex& index, std::string* fileBytes = nullptr);

/// Which index a run uses.
enum class IndexOrigin { Server, Kept };

/// The index a run uses, and what happened to the server's copy.
struct ObtainedIndex {
  HintIndex index;
  IndexOrigin origin = IndexOrigin::Server;
  bool serverRefused = false;  ///< the server sent an index that failed verification
  bool kept = false;           ///< the index in use is the one kept in the data folder
};

/// Why no index could be had.
enum class IndexFailure { None, Unavailable, Refused };

/// Fetches and verifies the server's index and keeps it as "identify-index.kpkg" in the
/// data folder, atomically; when the server's index cannot be fetched or is refused,
/// the kept copy is verified and used instead (and never replaced by a refused one).
/// A verified server index that cannot be kept is still used, with `kept` false.
IndexFailure ObtainIndex(ObtainedIndex& out);

}  // namespace Kyrowan::Identify
