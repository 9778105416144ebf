#include "platform/handles_posix.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

namespace Kyrowan::Windows {

bool FdValidator::operator()(int fd) const { return fd >= 0; }

void FdCloser::operator()(int fd) const {
  if (fd >= 0) ::close(fd);
}

bool ViewValidator::operator()(MappedView view) const { return view.base != nullptr; }

void ViewCloser::operator()(MappedView view) const {
  if (view.base != nullptr) ::munmap(const_cast<void*>(view.base), view.length);
}

bool HandleValidator::operator()(void* handle) const {
  return handle != nullptr && handle != reinterpret_cast<void*>(-1);
}

void LibraryCloser::operator()(void* handle) const {
  if (HandleValidator()(handle)) ::dlclose(handle);
}

}  // namespace Kyrowan::Windows
