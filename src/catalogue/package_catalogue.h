#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/server_protocol.h"

namespace Kyrowan {

/// One decryptor and the version texts known for it, kept sorted ascending.
struct PackageCatalogueEntry {
  std::string name;
  std::vector<std::string> versions;
};

/// A list of decryptors with their versions: the local record of downloads,
/// the server's list, or what -list shows.
struct PackageCatalogue {
  std::string version = kLatestVersion;
  std::vector<PackageCatalogueEntry> packages;
};

/// Reads the JSON form; on success replaces the whole target (names lowered),
/// on any error leaves it untouched and returns false.
bool ParseCatalogue(std::string_view text, PackageCatalogue& target);
/// Compact JSON with sorted keys; false (and an empty text) only on a JSON library error.
bool SerializeCatalogue(const PackageCatalogue& catalogue, std::string& text);
/// Sorts the versions of every entry.
void SortCatalogueVersions(PackageCatalogue& catalogue);

/// Adds `version` under `name` (matched ignoring ASCII case; a new name is kept as given);
/// false for an empty name or version.
bool RecordVersion(PackageCatalogue& catalogue, const std::string& name, const std::string& version);
/// Whether the entry named exactly `name` lowered holds exactly `version`.
bool HasVersion(const PackageCatalogue& catalogue, const std::string& name, const std::string& version);
/// The last (highest) version of the first entry matching `name` ignoring case; empty if none.
std::string LatestVersionOf(const PackageCatalogue& catalogue, const std::string& name);

/// Builds what -list shows: the server list (or the local one when the server
/// list is new and empty), each version followed by "**" when held locally.
void MergeForDisplay(const PackageCatalogue& local, const PackageCatalogue& server, PackageCatalogue& display);
/// Prints the -list output for a display catalogue.
void PrintCatalogue(const PackageCatalogue& display);

/// Fetches the package server's list into `target` (sorted); false, target untouched, on any failure.
bool FetchServerCatalogue(PackageCatalogue& target);

}  // namespace Kyrowan
