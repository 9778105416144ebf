#include "catalogue/package_catalogue.h"

#include "platform/http_client.h"

namespace Kyrowan {

using namespace Kyrowan::Windows;

bool FetchServerCatalogue(PackageCatalogue& target) {
  int status = 400;
  std::string body;
  if (!HttpGetToString(PackageServer(), L"/package/list/0.0.0", kUserAgent, {}, status, body) || status != 200)
    return false;
  if (!ParseCatalogue(body, target)) return false;
  SortCatalogueVersions(target);
  return true;
}

}  // namespace Kyrowan
