#pragma once

#include <cstdint>
#include <string>

#include "runtime/runtime.h"

namespace Kyrowan {

/// A runtime that can never run anything: every operation reports failure,
/// as an interpreter-less Python runtime does. Stands in for a type whose
/// real class is not part of this build.
class UnreadyRuntime : public IKyrDecryptRuntime {
 public:
  UnreadyRuntime(std::int32_t kind, const std::wstring& name, const std::wstring& version);

  std::int32_t Execute(const std::wstring& module, const std::wstring& entry, std::uint32_t mode,
                       std::int64_t& exitCode, const nlohmann::json& parameters) override;
  bool AddLibraryPath(const std::wstring& folder) override;
  bool RemoveLibraryPath(const std::wstring& folder) override;
  bool RemoveAllLibraryPaths() override;
};

}  // namespace Kyrowan
