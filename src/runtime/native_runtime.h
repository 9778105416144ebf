#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/library_folders.h"
#include "runtime/runtime.h"

namespace Kyrowan {

class NativeModule;

/// Runs a decryptor that is a dynamic library: loads it (and what it needs)
/// from the registered folders only, calls its export, unloads it again.
class NativeRuntime : public IKyrDecryptRuntime {
 public:
  explicit NativeRuntime(const std::wstring& version);
  ~NativeRuntime() override;

  std::int32_t Execute(const std::wstring& module, const std::wstring& entry, std::uint32_t mode,
                       std::int64_t& exitCode, const nlohmann::json& parameters) override;
  bool AddLibraryPath(const std::wstring& folder) override;
  bool RemoveLibraryPath(const std::wstring& folder) override;
  bool RemoveAllLibraryPaths() override;

  /// The registered folders as given (real case), in key order.
  std::vector<std::wstring> RegisteredFolders();

 private:
  std::int32_t RunEntry(const NativeModule& library, const std::string& entry, std::int64_t& exitCode,
                        const nlohmann::json& parameters);

  LibraryFolders libraryFolders;
  std::mutex foldersLock;
};

}  // namespace Kyrowan
