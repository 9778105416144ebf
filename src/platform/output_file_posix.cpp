#include "platform/output_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text.h"

namespace Kyrowan::Windows {

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::wstring& path) {
  Close();
  if (path.empty()) return false;
  const int fd = ::open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

bool OutputFile::Write(const void* data, std::size_t length) {
  if (handle_ < 0) return false;
  const char* cursor = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t written = ::write(static_cast<int>(handle_), cursor, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    cursor += written;
    length -= static_cast<std::size_t>(written);
  }
  return true;
}

bool OutputFile::SetUnixPermissions(std::uint32_t mode) {
  if (handle_ < 0) return false;
  const mode_t bits = static_cast<mode_t>((mode & 0777u) | S_IRUSR | S_IWUSR);
  return ::fchmod(static_cast<int>(handle_), bits) == 0;
}

bool OutputFile::Close() {
  if (handle_ < 0) return true;
  const int result = ::close(static_cast<int>(handle_));
  handle_ = -1;
  return result == 0;
}

}  // namespace Kyrowan::Windows
