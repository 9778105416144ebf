#include "runtime/python_scripts.h"

#include <cstdint>
#include <cstdio>

#include "platform/file_system.h"
#include "protocol/server_protocol.h"

namespace Kyrowan {

namespace {

/// Appends `code` as a Python escape of the shortest fitting form.
void AppendEscape(std::wstring& out, std::uint32_t code) {
  wchar_t buffer[16];
  if (code < 0x100)
    std::swprintf(buffer, 16, L"\\x%02x", static_cast<unsigned>(code));
  else if (code < 0x10000)
    std::swprintf(buffer, 16, L"\\u%04x", static_cast<unsigned>(code));
  else
    std::swprintf(buffer, 16, L"\\U%08x", static_cast<unsigned>(code));
  out += buffer;
}

bool IsHighSurrogate(std::uint32_t code) { return code >= 0xD800 && code <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t code) { return code >= 0xDC00 && code <= 0xDFFF; }

/// One script line: `tabs` tab characters, the text, one line feed.
void AppendLine(std::wstring& script, int tabs, std::wstring_view text) {
  script.append(static_cast<std::size_t>(tabs), L'\t');
  script += text;
  script += L'\n';
}

/// Lines 1 to 6, shared by the run and the help script.
void AppendImport(std::wstring& script, const std::vector<std::wstring>& folders, const std::wstring& moduleName,
                  const std::wstring& entry) {
  AppendLine(script, 0, L"import sys");
  AppendLine(script, 0, L"");
  AppendLine(script, 0, L"if __name__ == \"__main__\":");
  AppendLine(script, 1, L"try:");
  for (const auto& folder : folders)
    AppendLine(script, 2, L"sys.path.append(" + PythonStringLiteral(WithPythonSeparators(folder)) + L")");
  AppendLine(script, 2, L"run = getattr(__import__(" + PythonStringLiteral(moduleName) + L"), " +
                            PythonStringLiteral(entry) + L")");
}

void AppendExcept(std::wstring& script) {
  AppendLine(script, 1, L"except Exception as e:");
  AppendLine(script, 2, L"print(e)");
  AppendLine(script, 2, L"sys.exit(-1)");
}

}  // namespace

std::wstring PythonStringLiteral(std::wstring_view text) {
  std::wstring out = L"\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto code = static_cast<std::uint32_t>(text[i]);
    // A UTF-16 pair (wide text on Windows) is one character to Python.
    if (IsHighSurrogate(code) && i + 1 < text.size() && IsLowSurrogate(static_cast<std::uint32_t>(text[i + 1]))) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
      ++i;
    }
    if (code == L'\\' || code == L'"') {
      out += L'\\';
      out += static_cast<wchar_t>(code);
    } else if (code == L'\n') {
      out += L"\\n";
    } else if (code == L'\r') {
      out += L"\\r";
    } else if (code == L'\t') {
      out += L"\\t";
    } else if (code < 0x20 || code >= 0x7F) {
      AppendEscape(out, code > 0x10FFFF ? 0xFFFD : code);
    } else {
      out += static_cast<wchar_t>(code);
    }
  }
  out += L'"';
  return out;
}

std::wstring PythonModuleName(const std::wstring& module) {
  const auto at = module.find(L".py");
  return at == std::wstring::npos ? std::wstring() : module.substr(0, at);
}

std::wstring WithPythonSeparators(std::wstring text) {
  for (auto& c : text)
    if (c == Windows::kPathSeparator) c = L'/';
  return text;
}

std::wstring BuildPythonRunScript(const PythonRunScriptInput_s& input) {
  if (input.entry.empty() || input.dataFilePath.empty() || input.packageFolder.empty()) return {};
  std::wstring list = PythonStringLiteral(WithPythonSeparators(input.packageFolder)) + L", " +
                      PythonStringLiteral(WithPythonSeparators(input.dataFilePath));
  for (const auto& argument : input.arguments) list += L", " + PythonStringLiteral(argument);

  std::wstring script;
  AppendImport(script, input.folders, input.moduleName, input.entry);
  AppendLine(script, 2, L"argc = " + std::to_wstring(input.arguments.size() + 2));
  AppendLine(script, 2, L"argv = [" + list + L"]");
  AppendLine(script, 2, L"run(argc, argv)");
  AppendExcept(script);
  return script;
}

std::wstring BuildPythonHelpScript(const std::vector<std::wstring>& folders, const std::wstring& moduleName,
                                   const std::wstring& entry) {
  if (entry.empty()) return {};
  std::wstring script;
  AppendImport(script, folders, moduleName, entry);
  AppendLine(script, 2, L"run()");
  AppendExcept(script);
  return script;
}

std::wstring BuildStartMarkerLine(const std::wstring& markerPath) {
  // "x" creates the file exclusively, as nothing else may have made it.
  return L"open(" + PythonStringLiteral(markerPath) + L", \"x\").close()\n";
}

std::wstring BuildPipCheckScript(const std::wstring& name, const std::wstring& version) {
  if (name.empty()) return {};
  const bool anyVersion = version.empty() || version == kLatestVersionWide;
  std::wstring script;
  AppendLine(script, 0, L"import sys");
  AppendLine(script, 0, L"");
  AppendLine(script, 0, L"package_name = " + PythonStringLiteral(name));
  AppendLine(script, 0, L"req_ver = " + (anyVersion ? std::wstring(L"None") : PythonStringLiteral(version)));
  AppendLine(script, 0, L"");
  // Distribution names compare as pip normalises them: case and runs of -_. do not matter.
  AppendLine(script, 0, L"def normal_name(text):");
  AppendLine(script, 1, L"import re");
  AppendLine(script, 1, L"return re.sub(r\"[-_.]+\", \"-\", text).lower()");
  AppendLine(script, 0, L"");
  // pip's own version rules (2.1rc1 < 2.1 < 2.1.post1 < 2.10); without pip, the
  // numeric release part with trailing zeros dropped, so that 2.1 == 2.1.0 < 2.10.
  AppendLine(script, 0, L"def release(text):");
  AppendLine(script, 1, L"import re");
  AppendLine(script, 1, L"parts = [int(p) for p in re.match(r\"\\s*v?([0-9]+(?:\\.[0-9]+)*)\", text).group(1).split(\".\")]");
  AppendLine(script, 1, L"while len(parts) > 1 and parts[-1] == 0:");
  AppendLine(script, 2, L"parts.pop()");
  AppendLine(script, 1, L"return tuple(parts)");
  AppendLine(script, 0, L"");
  AppendLine(script, 0, L"def parse_version(text):");
  AppendLine(script, 1, L"try:");
  AppendLine(script, 2, L"from pip._vendor.packaging.version import Version");
  AppendLine(script, 1, L"except ImportError:");
  AppendLine(script, 2, L"return release(text)");
  AppendLine(script, 1, L"return Version(text)");
  AppendLine(script, 0, L"");
  AppendLine(script, 0, L"try:");
  AppendLine(script, 1, L"from importlib import metadata");
  AppendLine(script, 1, L"wanted = normal_name(package_name)");
  AppendLine(script, 1, L"for dist in metadata.distributions():");
  AppendLine(script, 2, L"found = dist.metadata[\"Name\"]");
  AppendLine(script, 2, L"if found and normal_name(found) == wanted:");
  AppendLine(script, 3, L"if req_ver is None or parse_version(dist.version) >= parse_version(req_ver):");
  AppendLine(script, 4, L"sys.exit(" + std::to_wstring(kPipCheckFound) + L")");
  AppendLine(script, 1, L"sys.exit(" + std::to_wstring(kPipCheckNotFound) + L")");
  AppendLine(script, 0, L"except SystemExit:");
  AppendLine(script, 1, L"raise");
  // An error must never read as "installed": it has its own status.
  AppendLine(script, 0, L"except BaseException as e:");
  AppendLine(script, 1, L"print(e)");
  AppendLine(script, 1, L"sys.exit(" + std::to_wstring(kPipCheckError) + L")");
  return script;
}

}  // namespace Kyrowan
