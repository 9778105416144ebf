#include "kyrpack/client_rules.h"

#include <algorithm>

#include "kyrpack/packer.h"
#include "package/package_paths.h"
#include "platform/text.h"
#include "runtime/python_scripts.h"
#include "runtime/runtime.h"

namespace Kyrowan::Kyrpack {

namespace {

using Windows::ToWide;

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

// Names and versions become folder names on the client, which refuses any that could leave its data folder.
std::string FolderNameRefusal(const std::string& what, const std::string& text) {
  if (HasControlCharacter(text)) return what + " holds a control character";
  if (!IsSafeFolderName(ToWide(text))) return what + " '" + text + "' cannot be a folder name";
  return {};
}

// The client lowers the names it is asked for and refuses a manifest that names another.
std::string NameRefusal(const std::string& what, const std::string& name) {
  std::string refusal = FolderNameRefusal(what, name);
  const std::wstring wide = ToWide(name);
  if (refusal.empty() && wide != Windows::ToLowerText(wide)) refusal = what + " '" + name + "' is not lower case";
  return refusal;
}

// The runtimes look the module up by its plain file name among the package's own files;
// the Python runtime imports it by its name up to the first ".py".
std::string ModuleRefusal(const PackFacts& facts, const std::vector<std::string>& fileNames) {
  const std::wstring module = ToWide(facts.module);
  if (facts.runtimeType == RuntimeTypePython &&
      (PythonModuleName(module).empty() || PythonModuleName(module) + L".py" != module))
    return "the Python module '" + facts.module + "' must be a file name ending in \".py\", with no other \".py\"";
  if (!IsSafeFolderName(module) || std::find(fileNames.begin(), fileNames.end(), facts.module) == fileNames.end())
    return "the module '" + facts.module + "' is not a file at the top of the package folder";
  return {};
}

// Empty entries are refused before: by the pack options, and by the completeness check of a manifest.
std::string EntryRefusal(const PackFacts& facts) {
  for (const std::string* entry : {&facts.module, &facts.run, &facts.help})
    if (HasControlCharacter(*entry)) return "the module, run or help entry holds a control character";
  return {};
}

}  // namespace

std::string ClientRefusal(const PackFacts& facts, const std::vector<std::string>& fileNames) {
  std::string refusal = NameRefusal("the name", facts.name);
  if (refusal.empty()) refusal = FolderNameRefusal("the version", facts.version);
  if (refusal.empty() && facts.kind != PackageKind::Runtime)
    refusal = FolderNameRefusal("the runtime version", facts.runtimeVersion);
  for (const DependencyEntry_s& dependency : facts.dependencies) {
    if (refusal.empty()) refusal = NameRefusal("the dependency name", dependency.name);
    if (refusal.empty()) refusal = FolderNameRefusal("the dependency version", dependency.version);
  }
  if (refusal.empty() && facts.kind == PackageKind::Decryptor) refusal = EntryRefusal(facts);
  if (refusal.empty() && facts.kind == PackageKind::Decryptor) refusal = ModuleRefusal(facts, fileNames);
  return refusal;
}

}  // namespace Kyrowan::Kyrpack
