#pragma once

#include <string>

namespace Kyrowan {

struct PackageCatalogue;

/// Reads a catalogue file into `catalogue` and sorts its versions; false (and
/// `catalogue` unchanged) when the file is missing, empty or not a catalogue.
bool ReadCatalogueFile(const std::wstring& path, PackageCatalogue& catalogue);

/// Saves `current` without losing what other runs saved since `loaded` was read:
/// under a lock file beside the catalogue, the versions `current` holds beyond
/// `loaded` are added to the file's present content, and the result atomically
/// replaces the file. A file that is not a catalogue is first moved aside to
/// "<path>.unreadable-<UTC time>" (never deleted), and `current` is taken whole.
bool WriteCatalogueFile(const std::wstring& path, const PackageCatalogue& current, const PackageCatalogue& loaded);

}  // namespace Kyrowan
