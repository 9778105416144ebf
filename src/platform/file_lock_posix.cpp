#include "platform/file_lock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

std::intptr_t OpenLockFile(const std::wstring& path) {
  if (path.empty()) return -1;
  // A link planted at the lock's name would have us create or open its target.
  return ::open(ToUtf8(path).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
}

// flock belongs to the open file, so separate opens exclude each other even
// within one process; closing the file releases the lock.
bool LockExclusively(std::intptr_t file) {
  int result;
  do {
    result = ::flock(static_cast<int>(file), LOCK_EX);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

}  // namespace

FileLock::FileLock(const std::wstring& path)
    : file_(OpenLockFile(path), [](std::intptr_t fd) { return fd >= 0; },
            [](std::intptr_t fd) { ::close(static_cast<int>(fd)); }) {
  locked_ = file_.IsValid() && LockExclusively(file_.Get());
}

}  // namespace Kyrowan::Windows
