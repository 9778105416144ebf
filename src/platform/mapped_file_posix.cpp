#include "platform/mapped_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/handles_posix.h"
#include "platform/mapped_file_backend.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace Kyrowan::Windows {

bool IsOpenFile(FileHandle file) { return file >= 0; }

bool FileLength(FileHandle file, std::int64_t& length) {
  struct stat info {};
  if (::fstat(static_cast<int>(file), &info) != 0) return false;
  length = info.st_size;
  return true;
}

std::int64_t MappingGranularity() { return ::sysconf(_SC_PAGESIZE); }

const void* MapAlignedView(FileHandle file, std::int64_t /*fileLength*/, std::int64_t alignedOffset,
                           std::int64_t span, FileHandle* /*mapping: POSIX has no separate mapping object*/) {
  void* view = ::mmap(nullptr, static_cast<std::size_t>(span), PROT_READ, MAP_PRIVATE, static_cast<int>(file),
                      static_cast<off_t>(alignedOffset));
  return view == MAP_FAILED ? nullptr : view;
}

void UnmapFileRegion(FileHandle /*mapping*/, const void* viewBase, std::size_t viewLength) {
  ScopedHandle<MappedView> view(MappedView{viewBase, viewLength}, ViewValidator(), ViewCloser());
}

void CloseFile(FileHandle file) { ScopedHandle<int> handle(static_cast<int>(file), FdValidator(), FdCloser()); }

bool MappedFile::OpenUnmapped() {
  if (file != kInvalidFileHandle) return true;
  if (path.empty()) return false;
  const std::string osPath = ToUtf8(path);
#ifdef O_NOATIME
  // The times of a victim's files are evidence: reading them should not move them. Only
  // the owner (or a privileged user) may ask for that, so anyone else reads plainly.
  file = ::open(osPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (file < 0 && errno == EPERM) file = ::open(osPath.c_str(), O_RDONLY | O_CLOEXEC);
#else
  file = ::open(osPath.c_str(), O_RDONLY | O_CLOEXEC);
#endif
  if (file < 0) {
    Release();
    return false;
  }
  struct stat info {};
  if (::fstat(static_cast<int>(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    Release();
    return false;
  }
  fileSize = info.st_size;
  if (fileSize == 0) {
    empty = true;
    Release();
    return false;
  }
  return true;
}

}  // namespace Kyrowan::Windows
