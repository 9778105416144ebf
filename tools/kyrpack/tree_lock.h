#pragma once

#include <memory>
#include <string>

namespace Kyrowan::Windows {
class FileLock;
}

namespace Kyrowan::Kyrpack {

/// Makes kyrpack's writers of one tree take turns: a publish and the daily snapshot run at the
/// same moment would otherwise both sign the next snapshot version, with different bytes.
/// Held from Take to destruction; the system releases it when its process ends.
class TreeLock {
 public:
  TreeLock();
  ~TreeLock();
  TreeLock(const TreeLock&) = delete;
  TreeLock& operator=(const TreeLock&) = delete;

  /// Waits until no other writer holds the tree; `create` makes a missing tree first. A tree
  /// that is not there has nothing to guard: that is left to the command to refuse.
  bool Take(const std::string& tree, bool create, std::string& error);

 private:
  std::unique_ptr<Windows::FileLock> lock_;
};

}  // namespace Kyrowan::Kyrpack
