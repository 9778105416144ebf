#include "catalogue/package_catalogue.h"

#include <nlohmann/json.hpp>

#include "catalogue/version.h"
#include "platform/text.h"

namespace Kyrowan {

using Windows::EqualsIgnoreCase;
using Windows::ToLowerAscii;

bool ParseCatalogue(std::string_view text, PackageCatalogue& target) {
  // Build a complete copy first: a half-read text must leave the target as it was.
  PackageCatalogue parsed;
  try {
    const nlohmann::json json = nlohmann::json::parse(text);
    for (const auto& package : json.at("packages").get_ref<const nlohmann::json::array_t&>()) {
      PackageCatalogueEntry entry;
      entry.name = ToLowerAscii(package.at("name").get<std::string>());
      entry.versions = package.at("versions").get<std::vector<std::string>>();
      parsed.packages.push_back(std::move(entry));
    }
    parsed.version = json.at("version").get<std::string>();
  } catch (const nlohmann::json::exception&) {
    return false;
  }
  target = std::move(parsed);
  return true;
}

bool SerializeCatalogue(const PackageCatalogue& catalogue, std::string& text) {
  text.clear();
  try {
    nlohmann::json packages = nlohmann::json::array();
    for (const auto& entry : catalogue.packages)
      packages.push_back({{"name", entry.name}, {"versions", entry.versions}});
    // nlohmann's default object keeps its keys sorted, and dump() without an indent is compact.
    const nlohmann::json json = {{"packages", std::move(packages)}, {"version", catalogue.version}};
    text = json.dump();
  } catch (const nlohmann::json::exception&) {
    text.clear();
    return false;
  }
  return true;
}

void SortCatalogueVersions(PackageCatalogue& catalogue) {
  for (auto& entry : catalogue.packages) SortVersions(entry.versions);
}

bool RecordVersion(PackageCatalogue& catalogue, const std::string& name, const std::string& version) {
  if (name.empty() || version.empty()) return false;
  for (auto& entry : catalogue.packages) {
    if (!EqualsIgnoreCase(entry.name, name)) continue;
    for (const auto& known : entry.versions)
      if (known == version) return true;
    entry.versions.push_back(version);
    return true;
  }
  catalogue.packages.push_back({name, {version}});
  return true;
}

bool HasVersion(const PackageCatalogue& catalogue, const std::string& name, const std::string& version) {
  const std::string lowered = ToLowerAscii(name);
  for (const auto& entry : catalogue.packages) {
    if (entry.name != lowered) continue;
    for (const auto& known : entry.versions)
      if (known == version) return true;
  }
  return false;
}

std::string LatestVersionOf(const PackageCatalogue& catalogue, const std::string& name) {
  if (name.empty()) return {};
  for (const auto& entry : catalogue.packages) {
    // The first matching entry decides, even when it holds no version.
    if (EqualsIgnoreCase(entry.name, name)) return entry.versions.empty() ? std::string() : entry.versions.back();
  }
  return {};
}

}  // namespace Kyrowan
