#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Kyrowan::Windows {

/// A file being written from scratch: created (or truncated) on Create, closed on destruction.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  /// Creates or replaces `path` for writing; never follows a symbolic link at `path`.
  bool Create(const std::wstring& path);
  /// Creates a new file of an unpredictable name beside `target` and gives its path;
  /// never opens a file or link already there, so nobody else's file is written through.
  bool CreateBeside(const std::wstring& target, std::wstring& path);
  /// Writes all `length` bytes; false on any error or short write.
  bool Write(const void* data, std::size_t length);
  /// Gives the file 0755 when `mode` lets its owner execute it, else 0644: never writable
  /// by group or others, never setuid, setgid or sticky. A no-op where files have no such bits.
  bool SetUnixPermissions(std::uint32_t mode);
  /// Closes the file; false if closing reported an error.
  bool Close();

 private:
  std::intptr_t handle_ = -1;
  /// The file a failure is reported against: the target a temporary copy stands in for.
  std::wstring path_;
};

}  // namespace Kyrowan::Windows
