#include "catalogue/package_catalogue.h"

#include "platform/http_client.h"

namespace Kyrowan {

using namespace Kyrowan::Windows;

bool FetchServerCatalogue(PackageCatalogue& target) {
  int status = 400;
  std::string body;
  const std::wstring path = Protocol::WidePath(Protocol::kListPath);
  if (!ServerGet(path, {}, status, body)) return false;
  if (!ParseCatalogue(body, target)) return false;
  SortCatalogueVersions(target);
  return true;
}

}  // namespace Kyrowan
