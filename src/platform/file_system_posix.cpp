#include "platform/file_system.h"
#include "platform/file_system_posix.h"
#include "platform/failure_causes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/handles_posix.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

const wchar_t kPathSeparator = L'/';
const bool kPathsIgnoreCase = false;
const wchar_t* const kDataFolderSuffix = L"/Kyrowan/KyrDecrypt";

namespace {

constexpr std::size_t kMaxPathChars = 4096;

std::string OsPath(const std::wstring& path) { return ToUtf8(path); }

bool IsWritableFolder(const char* folder) { return ::access(folder, W_OK | X_OK) == 0; }

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

constexpr std::string_view kTemporaryMarker = ".tmp-";
constexpr std::size_t kRandomBytes = 12;
constexpr char kHex[] = "0123456789abcdef";

bool RandomSuffix(std::string& suffix) {
  unsigned char bytes[kRandomBytes];
  if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return false;
  suffix = kTemporaryMarker;
  for (unsigned char byte : bytes) {
    suffix.push_back(kHex[byte >> 4]);
    suffix.push_back(kHex[byte & 0xF]);
  }
  return true;
}

// One folder made by us: exactly 0755 whatever the umask, so other users can
// neither plant files in it nor be kept from reading what we install.
bool MakeFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0755) != 0) {
    const std::uint32_t error = LastOsError();
    struct stat info {};
    // Existing folders are taken as they are (a parent above the data root may be a link).
    if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    RecordFileFailure(L"create", FromUtf8(folder), error);
    return false;
  }
  ScopedHandle<int> made(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), FdValidator(),
                         FdCloser());
  return made.IsValid() && ::fchmod(made.Get(), 0755) == 0;
}

// Writes `bytes` to a fresh file beside `target` and renames it over `target`:
// a link planted at `target` is replaced, never written through.
bool ReplaceWith(const std::string& target, std::string_view bytes, bool durable) {
  std::string temporary;
  bool written = false;
  {
    ScopedHandle<int> file(CreateUniqueFileBeside(target, temporary), FdValidator(), FdCloser());
    if (!file.IsValid()) return false;
    written = WriteAll(file.Get(), bytes.data(), bytes.size()) && (!durable || ::fsync(file.Get()) == 0);
  }
  if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  if (durable) SyncFolder(ParentOf(target));
  return true;
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

int CreateUniqueFileBeside(const std::string& target, std::string& path) {
  // A clash is a planted name or a one-in-2^96 accident: a few tries settle either.
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string suffix;
    if (!RandomSuffix(suffix)) return -1;
    const std::string candidate = target + suffix;
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      // Held while the writer lives, so nobody takes its file for one a killed writer left.
      ::flock(fd, LOCK_EX | LOCK_NB);
      path = candidate;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool GetMachineDataFolder(std::wstring& out) {
  const std::string root = ApplicationDataFolderFrom(std::getenv("PROGRAMDATA"), IsWritableFolder("/var/lib"),
                                                    std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  if (root.empty()) return false;
  out = FromUtf8(root);
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

bool GetTemporaryFolder(std::wstring& out) {
  const char* folder = std::getenv("TMPDIR");
  std::string path = folder != nullptr && folder[0] == '/' ? folder : "/tmp";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  out = FromUtf8(path);
  return !out.empty();
}

bool CreateFolderTree(const std::wstring& folder) {
  if (folder.empty()) return false;
  const std::string path = OsPath(folder);
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    if (path[slash - 1] != '/' && !MakeFolder(path.substr(0, slash))) return false;
  return MakeFolder(path);
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

bool RemoveEmptyFolder(const std::wstring& folder) {
  return !folder.empty() && ::rmdir(OsPath(folder).c_str()) == 0;
}

bool MovePath(const std::wstring& from, const std::wstring& to) {
  if (from.empty() || to.empty()) return false;
  const std::string target = OsPath(to);
  // Refusing an existing target in the rename itself leaves no gap for a race;
  // file systems without that flag get the check just before.
  if (::renameat2(AT_FDCWD, OsPath(from).c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0) return false;
    if (::rename(OsPath(from).c_str(), target.c_str()) != 0) return false;
  }
  SyncFolder(ParentOf(target));
  return true;
}

bool MoveFileOver(const std::wstring& from, const std::wstring& to) {
  return !from.empty() && !to.empty() && ::rename(OsPath(from).c_str(), OsPath(to).c_str()) == 0;
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

namespace {

PathKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return PathKind::File;
  if (S_ISDIR(mode)) return PathKind::Folder;
  return PathKind::Other;
}

// The kind readdir reported, or the entry's own lstat when it reported none.
PathKind KindOfEntry(int folderFd, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG: return PathKind::File;
    case DT_DIR: return PathKind::Folder;
    case DT_UNKNOWN: break;
    default: return PathKind::Other;
  }
  struct stat info {};
  if (::fstatat(folderFd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return PathKind::Other;
  return KindOfMode(info.st_mode);
}

}  // namespace

bool ListFolderEntries(const std::wstring& folder, std::vector<FolderEntry>& out) {
  out.clear();
  if (folder.empty()) return false;
  ScopedHandle<DIR*> dir(::opendir(OsPath(folder).c_str()), [](DIR* d) { return d != nullptr; },
                         [](DIR* d) { ::closedir(d); });
  if (!dir.IsValid()) return false;
  errno = 0;
  while (const dirent* entry = ::readdir(dir.Get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") out.push_back({FromUtf8(name), KindOfEntry(::dirfd(dir.Get()), *entry)});
    errno = 0;
  }
  return errno == 0;
}

bool GetPathKind(const std::wstring& path, PathKind& kind) {
  struct stat info {};
  if (path.empty() || ::stat(OsPath(path).c_str(), &info) != 0) return false;
  kind = KindOfMode(info.st_mode);
  return true;
}

bool WriteNewFile(const std::wstring& path, std::string_view bytes) {
  return !path.empty() && ReplaceWith(OsPath(path), bytes, false);
}

bool CreateExclusiveFile(const std::wstring& path, std::string_view bytes) {
  if (path.empty()) return false;
  const std::string target = OsPath(path);
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool wrote = WriteAll(fd, bytes.data(), bytes.size());
  const bool written = (::close(fd) == 0) && wrote;  // closed either way
  if (!written) ::unlink(target.c_str());
  return written;
}

bool IsTemporaryCopyName(std::wstring_view fileName) {
  const std::string name = ToUtf8(fileName);
  const std::size_t digits = 2 * kRandomBytes;
  if (name.size() <= kTemporaryMarker.size() + digits) return false;
  const std::size_t start = name.size() - digits;
  return name.compare(start - kTemporaryMarker.size(), kTemporaryMarker.size(), kTemporaryMarker) == 0 &&
         name.find_first_not_of(kHex, start) == std::string::npos;
}

void RemoveAbandonedTemporaryFiles(const std::wstring& folder, std::int64_t minimumAge) {
  ScopedHandle<int> dir(::open(OsPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), FdValidator(), FdCloser());
  if (!dir.IsValid()) return;
  DIR* listing = ::fdopendir(::dup(dir.Get()));
  if (listing == nullptr) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(listing)) {
    if (!IsTemporaryCopyName(FromUtf8(entry->d_name))) continue;
    ScopedHandle<int> file(::openat(dir.Get(), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC),
                           FdValidator(), FdCloser());
    struct stat info {};
    if (file.IsValid() && ::fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode) &&
        now - info.st_mtime >= minimumAge && ::flock(file.Get(), LOCK_EX | LOCK_NB) == 0)
      ::unlinkat(dir.Get(), entry->d_name, 0);
  }
  ::closedir(listing);
}

bool ReplaceFileAtomically(const std::wstring& path, std::string_view bytes) {
  return !path.empty() && ReplaceWith(OsPath(path), bytes, true);
}

}  // namespace Kyrowan::Windows
