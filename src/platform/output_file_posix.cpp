#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/failure_causes.h"
#include "platform/file_system_posix.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::wstring& path) {
  Close();
  if (path.empty()) return false;
  const int fd = ::open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    RecordFileFailure(L"create", path, LastOsError());
    return false;
  }
  handle_ = fd;
  path_ = path;
  return true;
}

bool OutputFile::CreateBeside(const std::wstring& target, std::wstring& path) {
  Close();
  if (target.empty()) return false;
  std::string created;
  const int fd = CreateUniqueFileBeside(ToUtf8(target), created);
  if (fd < 0) {
    RecordFileFailure(L"write", target, LastOsError());
    return false;
  }
  handle_ = fd;
  path = FromUtf8(created);
  path_ = target;
  return true;
}

bool OutputFile::Write(const void* data, std::size_t length) {
  if (handle_ < 0) return false;
  if (WriteAll(static_cast<int>(handle_), static_cast<const char*>(data), length)) return true;
  RecordFileFailure(L"write", path_, LastOsError());
  return false;
}

bool OutputFile::SetUnixPermissions(std::uint32_t mode) {
  if (handle_ < 0) return false;
  // Another user able to write an installed library or script could swap it
  // between its check and its load, whatever mode the package asked for.
  const mode_t bits = (mode & S_IXUSR) != 0 ? 0755 : 0644;
  return ::fchmod(static_cast<int>(handle_), bits) == 0;
}

bool OutputFile::Close() {
  if (handle_ < 0) return true;
  const int result = ::close(static_cast<int>(handle_));
  handle_ = -1;
  if (result != 0) RecordFileFailure(L"write", path_, LastOsError());
  return result == 0;
}

}  // namespace Kyrowan::Windows
