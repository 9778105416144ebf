#pragma once

// Validators and closers for the Win32 resources the tool holds in a ScopedHandle.
// Included only by the *_win32.cpp files.

#include <cstddef>

#include <windows.h>
#include <wincrypt.h>

namespace Kyrowan::Windows {

/// A kernel handle or a module is live when it is neither 0 nor INVALID_HANDLE_VALUE.
struct HandleValidator {
  bool operator()(HANDLE handle) const;
  bool operator()(HMODULE module) const;
};
/// CloseHandle, unless the value is INVALID_HANDLE_VALUE.
struct HandleCloser {
  void operator()(HANDLE handle) const;
};
/// InternetCloseHandle of a live internet handle (HINTERNET is a HANDLE-sized pointer).
struct InetHandleCloser {
  void operator()(void* handle) const;
};
struct LibraryCloser {
  void operator()(HMODULE module) const;
};

/// A mapped view is live when its address is not null.
struct ViewValidator {
  bool operator()(const void* view) const;
};
struct ViewCloser {
  void operator()(const void* view) const;
};

/// Provider, key and hash handles of CryptoAPI are live when not 0.
struct CryptHandleValidator {
  bool operator()(ULONG_PTR handle) const;
};
struct CryptProvContextCloser {
  void operator()(HCRYPTPROV provider) const;
};
struct CryptKeyCloser {
  void operator()(HCRYPTKEY key) const;
};
struct CryptHashCloser {
  void operator()(HCRYPTHASH hash) const;
};

/// WriteFile in a loop until all `length` bytes are written; false on an error or a stall.
bool WriteAllToFile(HANDLE file, const void* data, std::size_t length);

}  // namespace Kyrowan::Windows
