#include "catalogue/package_catalogue.h"

#include "platform/console.h"
#include "protocol/server_protocol.h"

namespace Kyrowan {

using namespace Kyrowan::Windows;

void MergeForDisplay(const PackageCatalogue& local, const PackageCatalogue& server, PackageCatalogue& display) {
  // A new, empty server list is what a failed fetch leaves: show what is here instead.
  const bool serverEmpty = server.version == kLatestVersion && server.packages.empty();
  const PackageCatalogue& source = serverEmpty ? local : server;
  display.version = source.version;
  for (const auto& entry : source.packages) {
    PackageCatalogueEntry shown{entry.name, {}};
    for (const auto& version : entry.versions)
      shown.versions.push_back(HasVersion(local, entry.name, version) ? version + "**" : version);
    display.packages.push_back(std::move(shown));
  }
}

void PrintCatalogue(const PackageCatalogue& display) {
  ConsoleWrite(L"Version marked with (**) are already present on this machine");
  ConsoleEndLine();
  ConsoleEndLine();
  for (const auto& entry : display.packages) {
    ConsoleWriteNarrow(entry.name);
    ConsoleEndLine();
    if (!entry.versions.empty()) {
      ConsoleWrite(L"[ ");
      for (std::size_t i = 0; i < entry.versions.size(); ++i) {
        if (i > 0) ConsoleWrite(L", ");
        ConsoleWriteNarrow(entry.versions[i]);
      }
      ConsoleWrite(L" ]");
    }
    ConsoleEndLine();
    ConsoleEndLine();
  }
}

}  // namespace Kyrowan
