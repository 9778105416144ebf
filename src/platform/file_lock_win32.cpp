#include "platform/file_lock.h"

#include <windows.h>

#include "platform/file_system_win32.h"
#include "platform/handles_win32.h"

namespace Kyrowan::Windows {

namespace {

std::intptr_t OpenLockFile(const std::wstring& path) {
  if (path.empty()) return reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
  HANDLE file = ::CreateFileW(LongPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<std::intptr_t>(file);
}

// The lock belongs to the handle, so separate opens exclude each other even within
// one process; closing the handle releases it.
bool LockExclusively(std::intptr_t file) {
  OVERLAPPED whole{};
  return ::LockFileEx(reinterpret_cast<HANDLE>(file), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) != 0;
}

bool IsLiveHandle(std::intptr_t file) { return HandleValidator()(reinterpret_cast<HANDLE>(file)); }

void CloseLockFile(std::intptr_t file) { HandleCloser()(reinterpret_cast<HANDLE>(file)); }

}  // namespace

FileLock::FileLock(const std::wstring& path) : file_(OpenLockFile(path), IsLiveHandle, CloseLockFile) {
  locked_ = file_.IsValid() && LockExclusively(file_.Get());
}

}  // namespace Kyrowan::Windows
