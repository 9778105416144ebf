#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Kyrowan::Windows {

/// What an opened entry proved to be, judged through its own handle.
enum class EntryKind {
  Unreadable,   ///< could not be opened or looked at
  NotFollowed,  ///< a link, junction, device or pipe: left unopened, never read or followed
  File,         ///< a regular file, open for reading
  Folder,       ///< a folder, open for listing and for opening what is inside
};

/// A file or folder held open for reading. Its kind is judged through the handle, after
/// opening, so a name swapped meanwhile for a link, a pipe or a device is never read
/// through, followed or waited on. Names are the file system's own: bytes on POSIX,
/// UTF-8 on Windows. Reading leaves access times alone wherever the system lets us ask.
class EntryHandle {
 public:
  EntryHandle() = default;
  ~EntryHandle();
  EntryHandle(EntryHandle&& other) noexcept;
  EntryHandle& operator=(EntryHandle&& other) noexcept;
  EntryHandle(const EntryHandle&) = delete;
  EntryHandle& operator=(const EntryHandle&) = delete;

  /// Opens a path the user named, following a link there; never waits on a pipe or device.
  static EntryHandle OpenPath(const std::string& path);
  /// Opens `name` directly inside this folder, never following a link and never waiting.
  EntryHandle OpenChild(const std::string& name) const;

  EntryKind Kind() const { return kind_; }
  /// The length of a file when it was opened.
  std::int64_t Size() const { return size_; }
  /// The names directly inside this folder ("." and ".." left out); false when unreadable.
  bool ListNames(std::vector<std::string>& names) const;
  /// Up to `length` bytes of this file from `offset`, with plain reads (no mapping, so a
  /// file cut short meanwhile gives fewer bytes rather than a fault); false on a read error.
  bool ReadAt(std::int64_t offset, std::size_t length, std::string& out) const;

 private:
  EntryHandle(std::intptr_t handle, EntryKind kind, std::int64_t size, std::wstring path);
  void Close();

  std::intptr_t handle_ = -1;
  EntryKind kind_ = EntryKind::Unreadable;
  std::int64_t size_ = 0;
  std::wstring path_;  ///< where the OS opens only by path (Windows): the entry's full path
};

}  // namespace Kyrowan::Windows
