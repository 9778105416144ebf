#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/library_folders.h"
#include "runtime/runtime.h"

namespace Kyrowan {

/// Finds the files folder of the installed Python runtime package `name` at `version`,
/// true only when that package is there and checks. Runtime packages belong to the
/// package layer above, which installs the finder; until it does, no runtime is ready.
using PythonRuntimePackageFinder =
    std::function<bool(const std::wstring& name, const std::wstring& version, std::wstring& filesFolder)>;
void SetPythonRuntimePackageFinder(PythonRuntimePackageFinder finder);

/// Where the pip libraries of later installs come from.
enum class PipSource {
  Index,         ///< the index pip is configured with (its PIP_* variables and pip.conf)
  FolderOnly,    ///< only the wheel and source files of a folder, never the network
  DownloadOnly,  ///< installed nowhere: what an install would need is downloaded into a folder
};
/// Sets the source of every later pip install of this process; `folder` for the folder ones.
void SetPipSource(PipSource source, const std::wstring& folder = {});

/// Runs Python decryptors in a child interpreter from the Python runtime
/// package of one version, through a generated script beside the interpreter;
/// also installs and checks the pip libraries of that interpreter.
class PythonRuntime : public IKyrDecryptRuntime {
 public:
  /// A runtime for the installed, valid runtime package of `version`; one that
  /// finds none is made all the same and fails every operation.
  explicit PythonRuntime(const std::wstring& version);
  ~PythonRuntime() override;
  PythonRuntime(const PythonRuntime&) = delete;
  PythonRuntime& operator=(const PythonRuntime&) = delete;

  std::int32_t Execute(const std::wstring& module, const std::wstring& entry, std::uint32_t mode,
                       std::int64_t& exitCode, const nlohmann::json& parameters) override;
  bool AddLibraryPath(const std::wstring& folder) override;
  bool RemoveLibraryPath(const std::wstring& folder) override;
  bool RemoveAllLibraryPaths() override;

  /// PkgFound when distribution `name` is installed at `version` or higher ("0.0.0": any).
  PkgResult_e IsPipPackageInstalled(const std::wstring& name, const std::wstring& version);
  /// Installs `name` (pinned to `version` unless "0.0.0") from the pip source unless the
  /// check finds it. With `hashes` (hex SHA-256), pip takes only files of those digests
  /// and installs the library alone: each library it needs is an entry of its own.
  PkgResult_e InstallPipPackage(const std::wstring& name, const std::wstring& version,
                                const std::vector<std::string>& hashes = {});
  PkgResult_e UninstallPipPackage(const std::wstring& name);

  /// Whether the interpreter and the folder of its scripts are known.
  bool IsReady() const { return ready; }
  /// Where the interpreter is.
  const std::wstring& GetInterpreterPath() const { return interpreterPath; }

 protected:
  /// Seam for tests: a runtime whose interpreter lives in `filesFolder`, taken as it is.
  PythonRuntime(const std::wstring& version, const std::wstring& filesFolder);

 private:
  bool Initialize();
  bool UseFilesFolder(const std::wstring& filesFolder);
  PkgResult_e RunScript(std::int64_t& exitCode, const nlohmann::json* parameters, const std::wstring& module,
                        const std::wstring& entry);
  std::wstring GenerateRunScript(const std::wstring& module, const std::wstring& entry,
                                 const nlohmann::json& parameters) const;
  /// Runs `scriptText` from a script file of this run's own beside the interpreter,
  /// then removes the file. True only when the script really started and ended;
  /// `status` is then the interpreter's exit status.
  bool RunScriptText(std::uint32_t& status);
  bool RunInterpreter(const std::vector<std::wstring>& arguments, std::uint32_t& status);
  PkgResult_e RunPip(const std::vector<std::wstring>& arguments);
  /// Runs pip on a requirements file of this call's own holding `requirement` with its hashes.
  PkgResult_e RunPipWithHashes(const std::wstring& requirement, const std::vector<std::string>& hashes);

  /// Written into scripts in key order.
  LibraryFolders libraryFolders;
  std::wstring interpreterPath;
  std::wstring scriptStem;  ///< beside the interpreter; each run adds a unique part and ".py"
  std::wstring scriptText;
  std::mutex foldersLock;
  std::mutex scriptLock;  ///< guards scriptText; taken after foldersLock when both are needed
  bool ready = false;
};

}  // namespace Kyrowan
