#include "platform/entry_handle.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/handles_posix.h"
#include "platform/scoped_handle.h"

namespace Kyrowan::Windows {

namespace {

// Never waits on a pipe or device that was swapped in after the kind was looked at.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;

// The times of a victim's files are evidence: reading them should not move them. Only
// the owner (or a privileged user) may ask for that, so anyone else reads plainly.
int OpenKeepingAccessTime(int folder, const char* name, int flags) {
#ifdef O_NOATIME
  const int fd = ::openat(folder, name, flags | O_NOATIME);
  if (fd >= 0 || errno != EPERM) return fd;
#endif
  return ::openat(folder, name, flags);
}

bool IsWantedKind(mode_t mode) { return S_ISREG(mode) || S_ISDIR(mode); }

}  // namespace

EntryHandle EntryHandle::OpenPath(const std::string& path) {
  if (path.empty()) return {};
  const int fd = OpenKeepingAccessTime(AT_FDCWD, path.c_str(), kOpenFlags);
  if (fd < 0) return {};
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !IsWantedKind(info.st_mode)) {
    ::close(fd);
    return {};
  }
  return EntryHandle(fd, S_ISDIR(info.st_mode) ? EntryKind::Folder : EntryKind::File, info.st_size, {});
}

EntryHandle EntryHandle::OpenChild(const std::string& name) const {
  const int folder = static_cast<int>(handle_);
  if (kind_ != EntryKind::Folder || name.empty() || name.find('/') != std::string::npos) return {};
  // Looked at first, so a device or pipe that is there all along is never opened at all.
  struct stat info {};
  if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return {};
  EntryHandle notFollowed(-1, EntryKind::NotFollowed, 0, {});
  if (!IsWantedKind(info.st_mode)) return notFollowed;
  const int fd = OpenKeepingAccessTime(folder, name.c_str(), kOpenFlags | O_NOFOLLOW);
  if (fd < 0) return errno == ELOOP ? std::move(notFollowed) : EntryHandle();
  // What was opened decides: the name may have been swapped since it was looked at.
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return {};
  }
  if (!IsWantedKind(info.st_mode)) {
    ::close(fd);
    return notFollowed;
  }
  return EntryHandle(fd, S_ISDIR(info.st_mode) ? EntryKind::Folder : EntryKind::File, info.st_size, {});
}

bool EntryHandle::ListNames(std::vector<std::string>& names) const {
  names.clear();
  if (kind_ != EntryKind::Folder) return false;
  // The listing owns a copy of the handle, which stays open for OpenChild.
  const int copy = ::fcntl(static_cast<int>(handle_), F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  DIR* listing = ::fdopendir(copy);
  if (listing == nullptr) {
    ::close(copy);
    return false;
  }
  ScopedHandle<DIR*> dir(listing, [](DIR* d) { return d != nullptr; }, [](DIR* d) { ::closedir(d); });
  ::rewinddir(listing);
  errno = 0;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
    errno = 0;
  }
  return errno == 0;
}

bool EntryHandle::ReadAt(std::int64_t offset, std::size_t length, std::string& out) const {
  out.assign(length, '\0');
  std::size_t filled = 0;
  while (kind_ == EntryKind::File && filled < length) {
    const ssize_t got = ::pread(static_cast<int>(handle_), out.data() + filled, length - filled,
                                static_cast<off_t>(offset + static_cast<std::int64_t>(filled)));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      out.resize(filled);
      return got == 0;
    }
    filled += static_cast<std::size_t>(got);
  }
  return kind_ == EntryKind::File;
}

}  // namespace Kyrowan::Windows
