#include "kyrpack/tree_files.h"

#include "kyrpack/signer.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace Kyrowan::Kyrpack {

bool PutTreeFile(const std::filesystem::path& root, const std::string& relative, const std::string& bytes,
                 std::string& report, std::string& error) {
  const std::filesystem::path path = root / relative;
  std::string current;
  if (ReadWholeFile(path.string(), current) && current == bytes) return true;
  // The new content goes to an unpredictable name beside it and is renamed over it.
  if (!Windows::CreateFolderTree(Windows::FromUtf8(path.parent_path().string())) ||
      !Windows::ReplaceFileAtomically(Windows::FromUtf8(path.string()), bytes)) {
    error = "cannot write '" + path.string() + "'";
    return false;
  }
  report += "wrote " + relative + "\n";
  return true;
}

}  // namespace Kyrowan::Kyrpack
