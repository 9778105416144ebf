#pragma once

#include <memory>
#include <string>
#include <vector>

namespace Kyrowan {

/// A decryptor library loaded together with the libraries it needs; unloaded
/// when destroyed.
class NativeModule {
 public:
  NativeModule();
  ~NativeModule();
  NativeModule(const NativeModule&) = delete;
  NativeModule& operator=(const NativeModule&) = delete;

  /// Loads the library file named `module` and its dependencies, each found only
  /// in `folders` (searched in order); the platform's own C and C++ runtime
  /// libraries are the only ones taken from elsewhere. False when anything is missing.
  bool Load(const std::wstring& module, const std::vector<std::wstring>& folders);
  /// The address of an exported symbol, or null.
  void* Find(const std::string& symbol) const;

 private:
  struct Libraries;
  std::unique_ptr<Libraries> libraries;
};

}  // namespace Kyrowan
