#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "catalogue/pkg_result.h"

namespace Kyrowan {

/// Which runtime runs a package; the text of a value is the runtime's name.
enum RuntimeType : std::uint32_t {
  RuntimeTypeNone = 0,
  RuntimeTypePython = 1,
  RuntimeTypeNative = 2,
};

/// The runtime names, indexed by RuntimeType: "none", "python", "native".
const wchar_t* RuntimeTypeName(std::uint32_t type);

/// What Execute calls: the run entry with the run parameters, or the help entry.
enum ExecuteMode : std::uint32_t {
  ExecuteModeRun = 1,
  ExecuteModeHelp = 2,
};

/// Runs a decryptor's code. Shared between the elements that need the same
/// (type, name, version) through the runtime registry.
class IKyrDecryptRuntime {
 public:
  virtual ~IKyrDecryptRuntime() = default;
  /// Calls `entry` of `module`; `exitCode` receives the decryptor's own result.
  virtual std::int32_t Execute(const std::wstring& module, const std::wstring& entry, std::uint32_t mode,
                               std::int64_t& exitCode, const nlohmann::json& parameters) = 0;
  /// Registers / unregisters a folder the decryptor's code may load from.
  virtual bool AddLibraryPath(const std::wstring& folder) = 0;
  virtual bool RemoveLibraryPath(const std::wstring& folder) = 0;
  virtual bool RemoveAllLibraryPaths() = 0;
  bool GetName(std::wstring& out) const;
  bool GetVersion(std::wstring& out) const;

 protected:
  IKyrDecryptRuntime(std::int32_t kind, const std::wstring& name, const std::wstring& version);

  std::int32_t kind;
  std::wstring name;
  std::wstring version;
};

/// The runtime for (type, name, version), made on first request and shared;
/// also filed under version "0.0.0". Returns 1 on success, 0 with `out` empty.
int GetRuntime(std::uint32_t type, const std::wstring& name, const std::wstring& version,
               std::shared_ptr<IKyrDecryptRuntime>& out);
/// Unregisters every runtime's folders and empties the registry. Always 1.
int ReleaseAllRuntimes();

/// Run parameters carry wide texts as JSON arrays of UTF-16 code units.
nlohmann::json WideToJsonArray(const std::wstring& text);
/// Reads such an array back; throws nlohmann::json::exception when it is not one.
std::wstring JsonArrayToWide(const nlohmann::json& value);

}  // namespace Kyrowan
