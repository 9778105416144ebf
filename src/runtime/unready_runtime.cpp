#include "runtime/unready_runtime.h"

namespace Kyrowan {

UnreadyRuntime::UnreadyRuntime(std::int32_t kind, const std::wstring& name, const std::wstring& version)
    : IKyrDecryptRuntime(kind, name, version) {}

std::int32_t UnreadyRuntime::Execute(const std::wstring&, const std::wstring&, std::uint32_t, std::int64_t& exitCode,
                                     const nlohmann::json&) {
  exitCode = 0;
  return PkgRunFailed;
}

bool UnreadyRuntime::AddLibraryPath(const std::wstring&) { return false; }
bool UnreadyRuntime::RemoveLibraryPath(const std::wstring&) { return false; }
bool UnreadyRuntime::RemoveAllLibraryPaths() { return false; }

}  // namespace Kyrowan
