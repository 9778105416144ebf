#include "runtime/native_module.h"

#include <dlfcn.h>
#include <link.h>

#include <list>
#include <set>

#include "platform/file_system.h"
#include "platform/handles_posix.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "runtime/elf_dependencies.h"

namespace Kyrowan {

namespace {

using LibraryHandle = Windows::ScopedHandle<void*>;

/// The C and C++ runtime of the platform: like a system's known libraries,
/// these come from the system whatever folders are registered.
bool IsPlatformRuntimeLibrary(const std::string& name) {
  static const std::set<std::string> names = {"libc.so.6",      "libm.so.6",  "libstdc++.so.6",
                                              "libgcc_s.so.1",  "libdl.so.2", "libpthread.so.0",
                                              "librt.so.1",     "libmvec.so.1"};
  return names.count(name) != 0 || name.rfind("ld-linux", 0) == 0;
}

/// A file name with no folder part: anything else could reach outside the registered folders.
bool IsPlainFileName(const std::wstring& name) {
  return !name.empty() && name != L"." && name != L".." && name.find(L'/') == std::wstring::npos &&
         name.find(L'\0') == std::wstring::npos;
}

bool FindInFolders(const std::wstring& name, const std::vector<std::wstring>& folders, std::wstring& path) {
  if (!IsPlainFileName(name)) return false;
  for (const auto& folder : folders) {
    std::wstring candidate = folder;
    if (candidate.back() != Windows::kPathSeparator) candidate += Windows::kPathSeparator;
    candidate += name;
    if (Windows::PathExists(candidate)) {
      path = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace

struct NativeModule::Libraries {
  /// Front first on destruction: the module, then what it needed, in reverse load order.
  std::list<LibraryHandle> loaded;
  void* module = nullptr;
  std::set<std::string> resolved;

  void* Open(const std::wstring& path) {
    void* handle = ::dlopen(Windows::ToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) loaded.emplace_front(handle, Windows::HandleValidator(), Windows::LibraryCloser());
    return handle;
  }

  /// Loads, depth first, every library `path` needs that lives in the folders,
  /// so that loading `path` itself finds them already there by their names.
  bool LoadNeeded(const std::wstring& path, const std::vector<std::wstring>& folders) {
    LibraryLinkInfo info;
    if (!ReadLibraryLinkInfo(path, info)) return false;
    for (const auto& name : info.needed) {
      if (!resolved.insert(name).second) continue;  // done, or in progress further up a cycle
      std::wstring dependency;
      if (FindInFolders(Windows::FromUtf8(name), folders, dependency)) {
        LibraryLinkInfo own;
        // Only a library whose own name is the one asked for is matched by the loader.
        if (!ReadLibraryLinkInfo(dependency, own) || own.soname != name) return false;
        if (!LoadNeeded(dependency, folders) || Open(dependency) == nullptr) return false;
      } else if (!IsPlatformRuntimeLibrary(name)) {
        return false;
      }
    }
    return true;
  }
};

NativeModule::NativeModule() : libraries(std::make_unique<Libraries>()) {}

NativeModule::~NativeModule() = default;

bool NativeModule::Load(const std::wstring& module, const std::vector<std::wstring>& folders) {
  std::wstring path;
  if (libraries->module != nullptr || !FindInFolders(module, folders, path)) return false;
  if (!libraries->LoadNeeded(path, folders)) return false;
  libraries->module = libraries->Open(path);
  return libraries->module != nullptr;
}

void* NativeModule::Find(const std::string& symbol) const {
  if (libraries->module == nullptr || symbol.empty()) return nullptr;
  void* address = ::dlsym(libraries->module, symbol.c_str());
  if (address == nullptr) return nullptr;
  // dlsym also searches the libraries the module needs; only the module's own exports count.
  link_map* moduleMap = nullptr;
  link_map* symbolMap = nullptr;
  Dl_info symbolInfo;
  if (::dlinfo(libraries->module, RTLD_DI_LINKMAP, &moduleMap) != 0 ||
      ::dladdr1(address, &symbolInfo, reinterpret_cast<void**>(&symbolMap), RTLD_DL_LINKMAP) == 0) {
    return nullptr;
  }
  return symbolMap == moduleMap ? address : nullptr;
}

}  // namespace Kyrowan
