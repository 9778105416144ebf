#include "catalogue/catalogue_file.h"

#include <string_view>

#include "catalogue/package_catalogue.h"
#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "platform/mapped_file.h"
#include "platform/text.h"

namespace Kyrowan {

using namespace Kyrowan::Windows;

namespace {

// Whether any entry of that name, in any case, holds that version.
bool Holds(const PackageCatalogue& catalogue, const std::string& name, const std::string& version) {
  for (const auto& entry : catalogue.packages) {
    if (!EqualsIgnoreCase(entry.name, name)) continue;
    for (const auto& known : entry.versions)
      if (known == version) return true;
  }
  return false;
}

}  // namespace

bool ReadCatalogueFile(const std::wstring& path, PackageCatalogue& catalogue) {
  MappedFile file(path);
  if (!file.Open()) return false;
  std::string_view text(file.data, static_cast<std::size_t>(file.fileSize));
  text = text.substr(0, text.find('\0'));
  const bool parsed = ParseCatalogue(text, catalogue);
  SortCatalogueVersions(catalogue);
  return parsed;
}

bool WriteCatalogueFile(const std::wstring& path, const PackageCatalogue& current, const PackageCatalogue& loaded) {
  if (path.empty()) return false;
  // Serialises the read-merge-replace below across every run saving at the same time.
  FileLock lock(path + L".lock");
  if (!lock.IsLocked()) return false;
  PackageCatalogue merged;
  if (ReadCatalogueFile(path, merged)) {
    for (const auto& entry : current.packages)
      for (const auto& version : entry.versions)
        if (!Holds(loaded, entry.name, version)) RecordVersion(merged, entry.name, version);
    SortCatalogueVersions(merged);
  } else {
    merged = current;
  }
  std::string text;
  return SerializeCatalogue(merged, text) && ReplaceFileAtomically(path, text);
}

}  // namespace Kyrowan
