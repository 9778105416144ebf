#include "runtime/native_module.h"

#include <optional>

#include <windows.h>

#include "platform/handles_win32.h"
#include "platform/scoped_handle.h"

namespace Kyrowan {

namespace {

/// A file name with no folder or drive part: anything else could reach outside the registered folders.
bool IsPlainFileName(const std::wstring& name) {
  return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:") == std::wstring::npos &&
         name.find(L'\0') == std::wstring::npos;
}

}  // namespace

struct NativeModule::Libraries {
  /// The folders, as user DLL directories of the process, for as long as the module is loaded.
  std::vector<DLL_DIRECTORY_COOKIE> cookies;
  std::optional<Windows::ScopedHandle<HMODULE>> module;

  ~Libraries() {
    module.reset();
    // Each cookie is handed back exactly once: a second removal is an error on Windows.
    for (DLL_DIRECTORY_COOKIE cookie : cookies) ::RemoveDllDirectory(cookie);
  }
};

NativeModule::NativeModule() : libraries(std::make_unique<Libraries>()) {}

NativeModule::~NativeModule() = default;

bool NativeModule::Load(const std::wstring& module, const std::vector<std::wstring>& folders) {
  if (libraries->module || !IsPlainFileName(module)) return false;
  for (const auto& folder : folders) {
    DLL_DIRECTORY_COOKIE cookie = ::AddDllDirectory(folder.c_str());
    if (cookie == nullptr) return false;
    libraries->cookies.push_back(cookie);
  }
  // The module and everything it imports are searched only in the registered folders
  // (system libraries are found by Windows itself as known DLLs).
  HMODULE loaded = ::LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_SEARCH_USER_DIRS);
  libraries->module.emplace(loaded, Windows::HandleValidator(), Windows::LibraryCloser());
  return libraries->module->IsValid();
}

void* NativeModule::Find(const std::string& symbol) const {
  if (!libraries->module || !libraries->module->IsValid() || symbol.empty()) return nullptr;
  // GetProcAddress looks only at the module's own exports.
  return reinterpret_cast<void*>(::GetProcAddress(libraries->module->Get(), symbol.c_str()));
}

}  // namespace Kyrowan
