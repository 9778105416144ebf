#include "platform/entry_handle.h"

#include <utility>

#include "platform/mapped_file_backend.h"

namespace Kyrowan::Windows {

EntryHandle::EntryHandle(std::intptr_t handle, EntryKind kind, std::int64_t size, std::wstring path)
    : handle_(handle), kind_(kind), size_(size), path_(std::move(path)) {}

EntryHandle::~EntryHandle() { Close(); }

EntryHandle::EntryHandle(EntryHandle&& other) noexcept { *this = std::move(other); }

EntryHandle& EntryHandle::operator=(EntryHandle&& other) noexcept {
  if (this == &other) return *this;
  Close();
  handle_ = std::exchange(other.handle_, kInvalidFileHandle);
  kind_ = std::exchange(other.kind_, EntryKind::Unreadable);
  size_ = std::exchange(other.size_, 0);
  path_ = std::move(other.path_);
  return *this;
}

void EntryHandle::Close() {
  CloseFile(handle_);
  handle_ = kInvalidFileHandle;
}

}  // namespace Kyrowan::Windows
