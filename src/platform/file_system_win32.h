#pragma once

// File-system helpers shared by the Win32 backends. Included only by *_win32.cpp files.

#include <string>

#include <windows.h>

namespace Kyrowan::Windows {

/// `path` as the wide file functions take it past MAX_PATH: from the length where
/// creating a folder fails, full, with backslashes, under the "\\?\" prefix (up to
/// 32,767 characters); shorter paths are returned as they are. Every file call goes
/// through it.
std::wstring LongPath(const std::wstring& path);

/// Creates a new file for writing beside `target`, under a name no other process can
/// predict (never an existing file or link); `path` receives the name. INVALID_HANDLE_VALUE on failure.
HANDLE CreateUniqueFileBeside(const std::wstring& target, std::wstring& path);

}  // namespace Kyrowan::Windows
