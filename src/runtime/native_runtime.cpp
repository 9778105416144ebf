#include "runtime/native_runtime.h"

#include <nlohmann/json.hpp>

#include "platform/text.h"
#include "runtime/argument_splitter.h"
#include "runtime/native_module.h"
#include "runtime/utf16_text.h"

namespace Kyrowan {

namespace {

using RunEntryFn = std::int64_t (*)(std::int32_t argc, const char16_t* const* argv);
using HelpEntryFn = void (*)();

bool IsEmptyParameters(const nlohmann::json& parameters) {
  return parameters.is_null() || ((parameters.is_object() || parameters.is_array()) && parameters.empty());
}

}  // namespace

NativeRuntime::NativeRuntime(const std::wstring& version)
    : IKyrDecryptRuntime(RuntimeTypeNative, RuntimeTypeName(RuntimeTypeNative), version) {}

NativeRuntime::~NativeRuntime() { RemoveAllLibraryPaths(); }

bool NativeRuntime::AddLibraryPath(const std::wstring& folder) {
  std::lock_guard<std::mutex> guard(foldersLock);
  return libraryFolders.Add(folder);
}

bool NativeRuntime::RemoveLibraryPath(const std::wstring& folder) {
  std::lock_guard<std::mutex> guard(foldersLock);
  return libraryFolders.Remove(folder);
}

bool NativeRuntime::RemoveAllLibraryPaths() {
  std::lock_guard<std::mutex> guard(foldersLock);
  libraryFolders.Clear();
  return true;
}

std::vector<std::wstring> NativeRuntime::RegisteredFolders() {
  std::lock_guard<std::mutex> guard(foldersLock);
  return libraryFolders.InOrder();
}

std::int32_t NativeRuntime::Execute(const std::wstring& module, const std::wstring& entry, std::uint32_t mode,
                                    std::int64_t& exitCode, const nlohmann::json& parameters) {
  exitCode = 0;
  if (module.empty() || entry.empty() || (mode != ExecuteModeRun && mode != ExecuteModeHelp)) {
    return PkgOperationFailed;
  }
  // Held across load, call and unload: folder changes never interleave with a run.
  std::lock_guard<std::mutex> guard(foldersLock);
  NativeModule library;
  if (!library.Load(module, libraryFolders.InOrder())) return PkgDependenciesMissing;
  const std::string symbol = Windows::ToNarrow(entry);
  if (mode == ExecuteModeRun) return RunEntry(library, symbol, exitCode, parameters);
  auto help = reinterpret_cast<HelpEntryFn>(library.Find(symbol));
  if (help == nullptr) return PkgRunFailed;
  help();
  return PkgOperationSucceeded;
}

std::int32_t NativeRuntime::RunEntry(const NativeModule& library, const std::string& entry, std::int64_t& exitCode,
                                     const nlohmann::json& parameters) {
  if (IsEmptyParameters(parameters)) return PkgOperationFailed;
  std::wstring telemetryFile, packagePath, arguments;
  try {
    telemetryFile = JsonArrayToWide(parameters.at("CustomTelemFile"));
    packagePath = JsonArrayToWide(parameters.at("DecrPkgPath"));
    arguments = JsonArrayToWide(parameters.at("DecrPkgArgs"));
  } catch (const nlohmann::json::exception&) {
    return PkgOperationFailed;
  }
  exitCode = -1;
  if (telemetryFile.empty() || packagePath.empty()) return PkgOperationFailed;
  auto run = reinterpret_cast<RunEntryFn>(library.Find(entry));
  if (run == nullptr) return PkgRunFailed;

  std::vector<std::wstring> pieces;
  SplitArguments(arguments, pieces);
  std::vector<std::u16string> texts;
  texts.reserve(pieces.size() + 2);
  texts.push_back(ToUtf16(packagePath));
  texts.push_back(ToUtf16(telemetryFile));
  for (const auto& piece : pieces) texts.push_back(ToUtf16(piece));
  std::vector<const char16_t*> argv;
  argv.reserve(texts.size() + 1);
  for (const auto& text : texts) argv.push_back(text.c_str());
  argv.push_back(nullptr);

  exitCode = run(static_cast<std::int32_t>(texts.size()), argv.data());
  return exitCode == -1 ? PkgOperationFailed : PkgOperationSucceeded;
}

}  // namespace Kyrowan
