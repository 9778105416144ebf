#include "platform/exclusive_file.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "platform/text.h"

namespace Kyrowan::Windows {

bool CreateExclusiveFile(const std::wstring& path, std::string_view bytes) {
  if (path.empty()) return false;
  const std::string target = ToUtf8(path);
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool written = true;
  while (written && !bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    written = count > 0;
    if (written) bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  written = ::close(fd) == 0 && written;
  if (!written) ::unlink(target.c_str());
  return written;
}

}  // namespace Kyrowan::Windows
