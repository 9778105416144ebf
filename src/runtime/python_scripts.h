#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Kyrowan {

/// A Python string literal (double-quoted, pure ASCII) that evaluates to `text`.
/// Every text a generated script carries goes through here, so no input can
/// end the literal early or inject code.
std::wstring PythonStringLiteral(std::wstring_view text);

/// The module to import: `module` up to its first ".py"; empty when it has none.
std::wstring PythonModuleName(const std::wstring& module);

/// `text` with this platform's path separator turned into "/", which Python reads
/// on every OS. Where "\" is no separator it is an ordinary character of names,
/// keys and passwords, and stays as typed.
std::wstring WithPythonSeparators(std::wstring text);

/// What a run script needs; folders and paths are written with Python's separators.
struct PythonRunScriptInput_s {
  std::vector<std::wstring> folders;  ///< appended to sys.path, in this order
  std::wstring moduleName;
  std::wstring entry;
  std::wstring dataFilePath;    ///< "CustomTelemFile"
  std::wstring packageFolder;   ///< "DecrPkgPath"
  std::vector<std::wstring> arguments;  ///< the split "DecrPkgArgs", after the two paths
};

/// The run script; empty when the entry, data file or package folder is missing.
std::wstring BuildPythonRunScript(const PythonRunScriptInput_s& input);
/// The help script (the same import, then the entry called without arguments);
/// empty when the entry is missing.
std::wstring BuildPythonHelpScript(const std::vector<std::wstring>& folders, const std::wstring& moduleName,
                                   const std::wstring& entry);

/// The first line of every script: it creates `markerPath`, which tells the tool
/// that the interpreter really read and started the script.
std::wstring BuildStartMarkerLine(const std::wstring& markerPath);

/// Exit statuses of the pip check script. None is one the interpreter gives by
/// itself (0 normal end, 1 uncaught error or failed start, 2 bad command line),
/// so a check that broke can never read as an answer.
inline constexpr unsigned kPipCheckFound = 10;
inline constexpr unsigned kPipCheckNotFound = 11;
inline constexpr unsigned kPipCheckError = 12;

/// A script that exits with kPipCheckFound when distribution `name` is installed
/// at `version` or higher ("0.0.0" or empty: any version), kPipCheckNotFound when
/// it is not, and kPipCheckError when the check itself fails. Empty for an empty name.
std::wstring BuildPipCheckScript(const std::wstring& name, const std::wstring& version);

}  // namespace Kyrowan
