#pragma once

#include <functional>
#include <utility>

namespace Kyrowan::Windows {

/// Owns one operating-system resource: releases it with `closer` on destruction,
/// but only when `validator` says the value is a live handle.
template <typename T>
class ScopedHandle {
 public:
  ScopedHandle(T handle, std::function<bool(T)> validator, std::function<void(T)> closer)
      : handle_(handle), validator_(std::move(validator)), closer_(std::move(closer)) {}
  ~ScopedHandle() {
    if (validator_(handle_)) closer_(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  T Get() const { return handle_; }
  bool IsValid() const { return validator_(handle_); }

 private:
  T handle_;
  std::function<bool(T)> validator_;
  std::function<void(T)> closer_;
};

}  // namespace Kyrowan::Windows
