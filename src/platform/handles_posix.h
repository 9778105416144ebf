#pragma once

// Validators and closers for the POSIX resources the tool holds in a ScopedHandle.
// Included only by the *_posix.cpp files.

#include <cstddef>

namespace Kyrowan::Windows {

/// A file descriptor is live when it is not negative.
struct FdValidator {
  bool operator()(int fd) const;
};
struct FdCloser {
  void operator()(int fd) const;
};

/// A mapped view: munmap needs the length as well as the address.
struct MappedView {
  const void* base = nullptr;
  std::size_t length = 0;
};
struct ViewValidator {
  bool operator()(MappedView view) const;
};
struct ViewCloser {
  void operator()(MappedView view) const;
};

/// A library loaded with dlopen.
struct HandleValidator {
  bool operator()(void* handle) const;
};
struct LibraryCloser {
  void operator()(void* handle) const;
};

}  // namespace Kyrowan::Windows
