#include "platform/run_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/file_system_posix.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

// Append mode: concurrent runs each land whole at the end. A link planted at the
// log is never followed.
int OpenForAppend(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
}

}  // namespace

bool AppendToRunLog(const std::wstring& path, std::string_view lines, std::uint64_t maxBytes) {
  const std::string log = ToUtf8(path);
  int fd = OpenForAppend(log);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_size > 0 &&
      static_cast<std::uint64_t>(info.st_size) + lines.size() > maxBytes) {
    ::close(fd);
    if (::rename(log.c_str(), (log + ".1").c_str()) != 0) return false;
    fd = OpenForAppend(log);
    if (fd < 0) return false;
  }
  const bool written = WriteAll(fd, lines.data(), lines.size());
  return ::close(fd) == 0 && written;
}

}  // namespace Kyrowan::Windows
