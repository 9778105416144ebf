#include "platform/file_system.h"
#include "platform/file_system_posix.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/handles_posix.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

const wchar_t kPathSeparator = L'/';
const wchar_t* const kDataFolderSuffix = L"/Kyrowan/KyrDecrypt";

namespace {

constexpr std::size_t kMaxPathChars = 4096;

std::string OsPath(const std::wstring& path) { return ToUtf8(path); }

bool IsWritableFolder(const char* folder) { return ::access(folder, W_OK | X_OK) == 0; }

int OpenForWriting(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Makes a rename inside `folder` durable.
void SyncFolder(const std::string& folder) {
  ScopedHandle<int> dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), FdValidator(), FdCloser());
  if (dir.IsValid()) ::fsync(dir.Get());
}

std::string ParentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string ApplicationDataFolderFrom(const char* programData, bool varLibWritable, const char* xdgDataHome,
                                      const char* home) {
  if (programData != nullptr && *programData != '\0') return programData;
  if (varLibWritable) return "/var/lib";
  if (xdgDataHome != nullptr && *xdgDataHome != '\0') return xdgDataHome;
  if (home != nullptr && *home != '\0') return std::string(home) + "/.local/share";
  return {};
}

bool GetDataFolder(std::wstring_view suffix, std::wstring& out) {
  const std::string root = ApplicationDataFolderFrom(std::getenv("PROGRAMDATA"), IsWritableFolder("/var/lib"),
                                                    std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  if (root.empty()) return false;
  out = FromUtf8(root) + std::wstring(suffix);
  return !out.empty();
}

bool GetParentFolder(std::wstring_view path, std::wstring& out) {
  if (path.empty() || path.size() >= kMaxPathChars) return false;
  std::wstring text(path);
  // A trailing separator belongs to the last component.
  while (text.size() > 1 && text.back() == kPathSeparator) text.pop_back();
  const auto slash = text.find_last_of(kPathSeparator);
  if (slash == std::wstring::npos) return false;
  text.resize(slash == 0 ? 1 : slash);
  if (text.empty() || text == path) return false;
  out = std::move(text);
  return true;
}

bool CreateFolderTree(const std::wstring& folder) {
  if (folder.empty()) return false;
  std::error_code error;
  std::filesystem::create_directories(OsPath(folder), error);
  if (error) return false;
  return std::filesystem::is_directory(OsPath(folder), error);
}

bool PathExists(const std::wstring& path) {
  if (path.empty()) return false;
  struct stat info {};
  return ::stat(OsPath(path).c_str(), &info) == 0;
}

bool RemoveFile(const std::wstring& path) { return !path.empty() && ::unlink(OsPath(path).c_str()) == 0; }

bool RemoveFolderTree(const std::wstring& folder) {
  if (folder.empty()) return false;
  std::error_code error;
  std::filesystem::remove_all(OsPath(folder), error);
  return !error;
}

bool MovePath(const std::wstring& from, const std::wstring& to) {
  if (from.empty() || to.empty()) return false;
  const std::string target = OsPath(to);
  struct stat info {};
  if (::lstat(target.c_str(), &info) == 0) return false;
  if (::rename(OsPath(from).c_str(), target.c_str()) != 0) return false;
  SyncFolder(ParentOf(target));
  return true;
}

bool ListSubfolders(const std::wstring& folder, std::vector<std::wstring>& out) {
  out.clear();
  if (folder.empty()) return false;
  std::error_code error;
  // Stepping with an error code: a folder that changes while it is read must not throw.
  for (std::filesystem::directory_iterator it(OsPath(folder), error), end; !error && it != end; it.increment(error)) {
    std::error_code kind;
    if (it->is_directory(kind)) out.push_back(FromUtf8(it->path().filename().string()));
  }
  return !error;
}

bool WriteNewFile(const std::wstring& path, std::string_view bytes) {
  if (path.empty()) return false;
  ScopedHandle<int> file(OpenForWriting(OsPath(path)), FdValidator(), FdCloser());
  return file.IsValid() && WriteAll(file.Get(), bytes);
}

bool ReplaceFileAtomically(const std::wstring& path, std::string_view bytes) {
  if (path.empty()) return false;
  const std::string target = OsPath(path);
  const std::string temporary = target + ".tmp" + std::to_string(::getpid());
  bool written = false;
  {
    ScopedHandle<int> file(OpenForWriting(temporary), FdValidator(), FdCloser());
    written = file.IsValid() && WriteAll(file.Get(), bytes) && ::fsync(file.Get()) == 0;
  }
  if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(ParentOf(target));
  return true;
}

}  // namespace Kyrowan::Windows
