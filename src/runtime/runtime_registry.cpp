// GetRuntime and ReleaseAllRuntimes: the process-wide registry of runtimes.
#include "protocol/server_protocol.h"
#include "runtime/runtime.h"

#include <map>
#include <mutex>
#include <tuple>

#include "runtime/runtime_factory.h"

namespace Kyrowan {

namespace {

/// The name enters the key exactly as the caller gave it; only the runtime lowers it.
using RegistryKey = std::tuple<std::uint32_t, std::wstring, std::wstring>;

struct Registry {
  std::mutex lock;
  std::map<RegistryKey, std::shared_ptr<IKyrDecryptRuntime>> runtimes;
};

Registry& TheRegistry() {
  // Lives until exit, after every element that could still call ReleaseAllRuntimes.
  static Registry registry;
  return registry;
}

const std::wstring kDefaultVersion = kLatestVersionWide;

}  // namespace

int GetRuntime(std::uint32_t type, const std::wstring& name, const std::wstring& version,
               std::shared_ptr<IKyrDecryptRuntime>& out) {
  out.reset();
  if ((type != RuntimeTypePython && type != RuntimeTypeNative) || name.empty() || version.empty()) return 0;
  const RegistryKey key{type, name, version};
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  if (auto found = registry.runtimes.find(key); found != registry.runtimes.end()) {
    out = found->second;
    return 1;
  }
  out = MakeRuntime(type, version);
  if (!out) return 0;
  registry.runtimes[key] = out;
  registry.runtimes[RegistryKey{type, name, kDefaultVersion}] = out;
  return 1;
}

int ReleaseAllRuntimes() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  for (const auto& entry : registry.runtimes) {
    std::shared_ptr<IKyrDecryptRuntime> runtime = entry.second;
    if (runtime) runtime->RemoveAllLibraryPaths();
  }
  registry.runtimes.clear();
  return 1;
}

}  // namespace Kyrowan
