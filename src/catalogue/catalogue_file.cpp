#include "catalogue/catalogue_file.h"

#include <chrono>
#include <cstdio>
#include <string_view>

#include "catalogue/package_catalogue.h"
#include "platform/clock.h"
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

enum class FileRead { Missing, Parsed, Unreadable };

// An empty file holds nothing to lose, so it counts as missing.
FileRead ReadFile(const std::wstring& path, PackageCatalogue& catalogue) {
  MappedFile file(path);
  if (!file.Open()) return file.empty || !PathExists(path) ? FileRead::Missing : FileRead::Unreadable;
  std::string_view text(file.data, static_cast<std::size_t>(file.fileSize));
  text = text.substr(0, text.find('\0'));
  const bool parsed = ParseCatalogue(text, catalogue);
  SortCatalogueVersions(catalogue);
  return parsed ? FileRead::Parsed : FileRead::Unreadable;
}

// "<path>.unreadable-YYYYMMDDTHHMMSSZ", the UTC time it was found.
std::wstring UnreadableName(const std::wstring& path) {
  using namespace std::chrono;
  const sys_seconds now{duration_cast<seconds>(milliseconds(CurrentTimeMillis()))};
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02u%02uT%02ld%02ld%02lldZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                static_cast<long long>(time.seconds().count()));
  return path + L".unreadable-" + ToWide(stamp);
}

// Keeps a file that is not a catalogue under a name that says so: it may hold
// records worth rescuing by hand. A second one in the same second gets "-2", "-3" ...
bool MoveUnreadableAside(const std::wstring& path) {
  const std::wstring aside = UnreadableName(path);
  if (MovePath(path, aside)) return true;
  for (int n = 2; n <= 100; ++n)
    if (MovePath(path, aside + L"-" + std::to_wstring(n))) return true;
  return false;
}

}  // namespace

bool ReadCatalogueFile(const std::wstring& path, PackageCatalogue& catalogue) {
  return ReadFile(path, catalogue) == FileRead::Parsed;
}

bool WriteCatalogueFile(const std::wstring& path, const PackageCatalogue& current, const PackageCatalogue& loaded) {
  if (path.empty()) return false;
  // Serialises the read-merge-replace below across every run saving at the same time.
  FileLock lock(path + L".lock");
  if (!lock.IsLocked()) return false;
  PackageCatalogue merged;
  const FileRead read = ReadFile(path, merged);
  if (read == FileRead::Parsed) {
    for (const auto& entry : current.packages)
      for (const auto& version : entry.versions)
        if (!Holds(loaded, entry.name, version)) RecordVersion(merged, entry.name, version);
    SortCatalogueVersions(merged);
  } else {
    // A file that cannot be kept aside is never overwritten.
    if (read == FileRead::Unreadable && !MoveUnreadableAside(path)) return false;
    merged = current;
  }
  std::string text;
  return SerializeCatalogue(merged, text) && ReplaceFileAtomically(path, text);
}

}  // namespace Kyrowan
