#include "platform/output_file.h"

#include <windows.h>

#include "platform/failure_causes.h"
#include "platform/file_system_win32.h"
#include "platform/handles_win32.h"

namespace Kyrowan::Windows {

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::wstring& path) {
  Close();
  if (path.empty()) return false;
  HANDLE file =
      ::CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!HandleValidator()(file)) {
    RecordFileFailure(L"create", path, LastOsError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  path_ = path;
  return true;
}

bool OutputFile::CreateBeside(const std::wstring& target, std::wstring& path) {
  Close();
  HANDLE file = CreateUniqueFileBeside(target, path);
  if (!HandleValidator()(file)) {
    RecordFileFailure(L"write", target, LastOsError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  path_ = target;
  return true;
}

bool OutputFile::Write(const void* data, std::size_t length) {
  if (handle_ == -1) return false;
  if (WriteAllToFile(AsHandle(handle_), data, length)) return true;
  RecordFileFailure(L"write", path_, LastOsError());
  return false;
}

// Windows files carry no Unix mode bits.
bool OutputFile::SetUnixPermissions(std::uint32_t /*mode*/) { return handle_ != -1; }

bool OutputFile::Close() {
  if (handle_ == -1) return true;
  const bool closed = ::CloseHandle(AsHandle(handle_)) != 0;
  handle_ = -1;
  if (!closed) RecordFileFailure(L"write", path_, LastOsError());
  return closed;
}

}  // namespace Kyrowan::Windows
