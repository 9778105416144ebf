#include "runtime/python_runtime.h"

#include <nlohmann/json.hpp>

#include "platform/file_system.h"
#include "platform/guid.h"
#include "platform/process.h"
#include "platform/text.h"
#include "protocol/server_protocol.h"
#include "runtime/argument_splitter.h"
#include "runtime/python_scripts.h"

namespace Kyrowan {

namespace {

const std::wstring kInterpreterName = std::wstring(L"python") + Windows::kExecutableSuffix;
const wchar_t kScriptStem[] = L"KyrDecrypt_Script";

/// A distribution name or version that pip reads as nothing but itself: no
/// option, URL, marker or extra can ride along in a signed-but-odd manifest.
bool IsPlainRequirementText(const std::wstring& text) {
  if (text.empty() || text.front() == L'-') return false;
  for (wchar_t c : text) {
    const bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                    c == L'.' || c == L'-' || c == L'_' || c == L'+' || c == L'!';
    if (!ok) return false;
  }
  return true;
}

bool IsAnyVersion(const std::wstring& version) { return version.empty() || version == kLatestVersionWide; }

std::mutex finderLock;
PythonRuntimePackageFinder& InstalledFinder() {
  static PythonRuntimePackageFinder finder;
  return finder;
}

bool FindRuntimePackage(const std::wstring& name, const std::wstring& version, std::wstring& filesFolder) {
  PythonRuntimePackageFinder finder;
  {
    std::lock_guard<std::mutex> lock(finderLock);
    finder = InstalledFinder();
  }
  return finder && finder(name, version, filesFolder);
}

struct PipSetting {
  PipSource source = PipSource::Index;
  std::wstring folder;
};

std::mutex pipSettingLock;
PipSetting& CurrentPipSetting() {
  static PipSetting setting;
  return setting;
}

// The pip command that installs (or, downloading only, fetches) `what`: a requirement, or
// the options naming a requirements file.
std::vector<std::wstring> PipInstallArguments(const std::vector<std::wstring>& what) {
  std::lock_guard<std::mutex> lock(pipSettingLock);
  const PipSetting& setting = CurrentPipSetting();
  std::vector<std::wstring> command{L"-m", L"pip"};
  switch (setting.source) {
    case PipSource::FolderOnly:
      command.insert(command.end(), {L"install", L"--no-index", L"--find-links", setting.folder});
      break;
    case PipSource::DownloadOnly:
      command.insert(command.end(), {L"download", L"--dest", setting.folder});
      break;
    case PipSource::Index:
      command.push_back(L"install");
      break;
  }
  command.insert(command.end(), what.begin(), what.end());
  return command;
}

// A digest goes into a requirements file: nothing but 64 hex digits may.
bool IsSha256Hex(const std::string& text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

void SetPipSource(PipSource source, const std::wstring& folder) {
  std::lock_guard<std::mutex> lock(pipSettingLock);
  CurrentPipSetting() = PipSetting{source, folder};
}

void SetPythonRuntimePackageFinder(PythonRuntimePackageFinder finder) {
  std::lock_guard<std::mutex> lock(finderLock);
  InstalledFinder() = std::move(finder);
}

PythonRuntime::PythonRuntime(const std::wstring& version)
    : IKyrDecryptRuntime(RuntimeTypePython, L"python", version) {
  Initialize();
}

PythonRuntime::PythonRuntime(const std::wstring& version, const std::wstring& filesFolder)
    : IKyrDecryptRuntime(RuntimeTypePython, L"python", version) {
  std::lock_guard<std::mutex> lock(scriptLock);
  UseFilesFolder(filesFolder);
}

PythonRuntime::~PythonRuntime() { RemoveAllLibraryPaths(); }

bool PythonRuntime::Initialize() {
  std::lock_guard<std::mutex> lock(scriptLock);
  if (ready) return true;
  // "0.0.0" names no package: such a runtime only stands for "the latest one made".
  if (name.empty() || version.empty() || version == kLatestVersionWide) return false;
  std::wstring filesFolder;
  return FindRuntimePackage(name, version, filesFolder) && UseFilesFolder(filesFolder);
}

bool PythonRuntime::UseFilesFolder(const std::wstring& filesFolder) {
  if (filesFolder.empty()) return false;
  interpreterPath = filesFolder + kInterpreterName;
  scriptStem = filesFolder + kScriptStem;
  ready = !interpreterPath.empty() && !scriptStem.empty();
  return ready;
}

bool PythonRuntime::AddLibraryPath(const std::wstring& folder) {
  if (!ready) return false;
  std::lock_guard<std::mutex> lock(foldersLock);
  return libraryFolders.Add(folder);
}

bool PythonRuntime::RemoveLibraryPath(const std::wstring& folder) {
  if (!ready) return false;
  std::lock_guard<std::mutex> lock(foldersLock);
  return libraryFolders.Remove(folder);
}

bool PythonRuntime::RemoveAllLibraryPaths() {
  if (!ready) return false;
  // No script to delete: every run removes its own.
  std::lock_guard<std::mutex> folders(foldersLock);
  libraryFolders.Clear();
  return true;
}

std::int32_t PythonRuntime::Execute(const std::wstring& module, const std::wstring& entry, std::uint32_t mode,
                                    std::int64_t& exitCode, const nlohmann::json& parameters) {
  exitCode = 0;
  if (!ready) return PkgRunFailed;
  if (module.empty() || entry.empty()) return PkgOperationFailed;
  if (mode == ExecuteModeRun) {
    if (parameters.empty() || !parameters.is_object()) return PkgOperationFailed;
    return RunScript(exitCode, &parameters, module, entry);
  }
  if (mode == ExecuteModeHelp) return RunScript(exitCode, nullptr, module, entry);
  return PkgOperationFailed;
}

std::wstring PythonRuntime::GenerateRunScript(const std::wstring& module, const std::wstring& entry,
                                              const nlohmann::json& parameters) const {
  PythonRunScriptInput_s input;
  input.folders = libraryFolders.InOrder();
  input.moduleName = PythonModuleName(module);
  input.entry = entry;
  input.dataFilePath = JsonArrayToWide(parameters.at("CustomTelemFile"));
  input.packageFolder = JsonArrayToWide(parameters.at("DecrPkgPath"));
  // Separators become slashes before the text is split, as in the folders.
  const std::wstring arguments = WithPythonSeparators(JsonArrayToWide(parameters.at("DecrPkgArgs")));
  SplitArguments(arguments, input.arguments);
  return BuildPythonRunScript(input);
}

PkgResult_e PythonRuntime::RunScript(std::int64_t& exitCode, const nlohmann::json* parameters,
                                     const std::wstring& module, const std::wstring& entry) {
  std::lock_guard<std::mutex> folders(foldersLock);
  std::lock_guard<std::mutex> script(scriptLock);
  scriptText.clear();
  if (parameters != nullptr) {
    try {
      scriptText = GenerateRunScript(module, entry, *parameters);
    } catch (const nlohmann::json::exception&) {
      return PkgOperationFailed;  // a member missing or not a wide text
    }
  } else {
    scriptText = BuildPythonHelpScript(libraryFolders.InOrder(), PythonModuleName(module), entry);
  }
  exitCode = -1;
  std::uint32_t status = 0;
  if (RunScriptText(status))
    exitCode = status == Windows::kProcessFailureStatus ? -1 : static_cast<std::int64_t>(status);
  return exitCode == -1 ? PkgRunFailed : PkgOperationSucceeded;
}

bool PythonRuntime::RunScriptText(std::uint32_t& status) {
  status = 0;
  if (!ready || scriptText.empty()) return false;
  // Runs sharing this interpreter (two decryptors, a run beside a pip check)
  // each get a file of their own, which no other run can replace or delete.
  std::wstring unique;
  if (Windows::CreateGuidText(unique) != 0) return false;
  const std::wstring stem = scriptStem + L"_" + unique.substr(1, unique.size() - 2);
  const std::wstring script = stem + L".py";
  const std::wstring marker = stem + L".started";
  // Every inserted text is an ASCII-escaped literal, so the script is plain ASCII.
  if (!Windows::CreateExclusiveFile(script, Windows::ToUtf8(BuildStartMarkerLine(marker) + scriptText)))
    return false;
  const bool ended = RunInterpreter({script}, status);
  // Only the script makes the marker: without it the interpreter never ran the
  // script (its own "can't open file" status 2 is no answer of the decryptor's).
  const bool started = Windows::RemoveFile(marker);
  Windows::RemoveFile(script);
  return ended && started;
}

bool PythonRuntime::RunInterpreter(const std::vector<std::wstring>& arguments, std::uint32_t& status) {
  if (!ready) return false;
  status = 0;
  // Isolated: the working folder, PYTHON* variables and the user's site-packages
  // cannot put modules ahead of the runtime's own, whatever ._pth file it has.
  // pip still reads its PIP_* variables and pip.conf: they are not the interpreter's.
  // No bytecode is written: it would rewrite the verified files of the runtime
  // package (its shipped .pyc files) and fail its next verification.
  std::vector<std::wstring> command{L"-I", L"-B"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return Windows::RunProcess(interpreterPath, command, status);
}

PkgResult_e PythonRuntime::IsPipPackageInstalled(const std::wstring& packageName, const std::wstring& packageVersion) {
  if (!ready) return PkgRunFailed;
  std::lock_guard<std::mutex> lock(scriptLock);
  scriptText = BuildPipCheckScript(packageName, packageVersion);
  std::uint32_t status = 0;
  if (!RunScriptText(status)) return PkgOperationFailed;
  // Only the script's own two answers count; an error or a crash is a failed check.
  if (status == kPipCheckFound) return PkgFound;
  return status == kPipCheckNotFound ? PkgNotFound : PkgOperationFailed;
}

PkgResult_e PythonRuntime::InstallPipPackage(const std::wstring& packageName, const std::wstring& packageVersion,
                                             const std::vector<std::string>& hashes) {
  if (!ready) return PkgRunFailed;
  const bool anyVersion = IsAnyVersion(packageVersion);
  if (!IsPlainRequirementText(packageName) || (!anyVersion && !IsPlainRequirementText(packageVersion)))
    return PkgOperationFailed;
  const PkgResult_e check = IsPipPackageInstalled(packageName, packageVersion);
  if (check != PkgNotFound) return check;
  // No uninstall first: pip replaces a lower version itself and puts it back when
  // the install fails, so a lost network never leaves the library missing.
  const std::wstring requirement = anyVersion ? packageName : packageName + L"==" + packageVersion;
  if (!hashes.empty()) return RunPipWithHashes(requirement, hashes);
  return RunPip(PipInstallArguments({requirement}));
}

PkgResult_e PythonRuntime::UninstallPipPackage(const std::wstring& packageName) {
  if (!ready) return PkgRunFailed;
  if (!IsPlainRequirementText(packageName)) return PkgOperationFailed;
  return RunPip({L"-m", L"pip", L"uninstall", L"-y", packageName});
}

PkgResult_e PythonRuntime::RunPipWithHashes(const std::wstring& requirement, const std::vector<std::string>& hashes) {
  std::string line = Windows::ToUtf8(requirement);
  for (const std::string& hash : hashes) {
    if (!IsSha256Hex(hash)) return PkgOperationFailed;
    line += " --hash=sha256:" + hash;
  }
  std::wstring unique;
  if (Windows::CreateGuidText(unique) != 0) return PkgOperationFailed;
  const std::wstring file = scriptStem + L"_" + unique.substr(1, unique.size() - 2) + L".requirements.txt";
  if (!Windows::CreateExclusiveFile(file, line + "\n")) return PkgOperationFailed;
  const PkgResult_e result = RunPip(PipInstallArguments({L"--no-deps", L"--require-hashes", L"-r", file}));
  Windows::RemoveFile(file);
  return result;
}

PkgResult_e PythonRuntime::RunPip(const std::vector<std::wstring>& arguments) {
  std::lock_guard<std::mutex> lock(scriptLock);
  std::uint32_t status = 0;
  if (!RunInterpreter(arguments, status)) return PkgRunFailed;
  return status == 0 ? PkgOperationSucceeded : PkgOperationFailed;
}

}  // namespace Kyrowan
