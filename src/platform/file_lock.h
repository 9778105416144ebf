#pragma once

#include <cstdint>
#include <string>

#include "platform/scoped_handle.h"

namespace Kyrowan::Windows {

/// An exclusive lock on a lock file, held from construction to destruction and
/// respected by every thread and process that locks the same path.
class FileLock {
 public:
  /// Creates the lock file if needed and waits until the lock is ours.
  explicit FileLock(const std::wstring& path);
  ~FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  /// False when the lock file could not be opened (a symbolic link never is) or locked.
  bool IsLocked() const { return locked_; }

 private:
  ScopedHandle<std::intptr_t> file_;
  bool locked_ = false;
};

}  // namespace Kyrowan::Windows
