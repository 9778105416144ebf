#pragma once

// File-system helpers shared by the Win32 backends. Included only by *_win32.cpp files.

#include <string>

#include <windows.h>

namespace Kyrowan::Windows {

/// Creates a new file for writing beside `target`, under a name no other process can
/// predict (never an existing file or link); `path` receives the name. INVALID_HANDLE_VALUE on failure.
HANDLE CreateUniqueFileBeside(const std::wstring& target, std::wstring& path);

}  // namespace Kyrowan::Windows
