#include "kyrpack/tree_lock.h"

#include <filesystem>
#include <system_error>

#include "kyrpack/tree_layout.h"
#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace Kyrowan::Kyrpack {

TreeLock::TreeLock() = default;

TreeLock::~TreeLock() = default;

bool TreeLock::Take(const std::string& tree, bool create, std::string& error) {
  if (create && !Windows::CreateFolderTree(Windows::FromUtf8(tree))) {
    error = "cannot make the folder '" + tree + "'";
    return false;
  }
  std::error_code code;
  if (!std::filesystem::is_directory(tree, code)) return true;
  const std::filesystem::path path = std::filesystem::path(tree) / Tree::LockPath();
  lock_ = std::make_unique<Windows::FileLock>(Windows::FromUtf8(path.string()));
  if (lock_->IsLocked()) return true;
  error = "cannot lock the tree with '" + path.string() + "'";
  return false;
}

}  // namespace Kyrowan::Kyrpack
