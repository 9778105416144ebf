#include "kyrpack/tree_layout.h"

#include <gtest/gtest.h>

#include "protocol/server_protocol.h"

namespace Kyrowan::Tree {
namespace {

using namespace Protocol;

// A tree is served by path alone: a request that names another file than the tree writer
// placed is a 404 for every client. (A decryptor asked for at the latest word carries no
// version; the server maps that to the tree's latest copy.)
TEST(TreeLayoutTest, EveryClientRequestNamesTheFileTheTreeWriterPlaces) {
  const struct {
    std::wstring request;
    std::string file;
  } cases[] = {
      {WidePath(kListPath), ListPath()},
      {WidePath(kIdentifyPath), IdentifyPath()},
      {LatestVersionQueryPath(L"stampado"), LatestVersionPath("stampado")},
      {DecryptorDownloadPath(L"stampado", L"1.10.0"), DownloadPath(PackageKind::Decryptor, "stampado", "1.10.0")},
      {LibraryDownloadPath(L"cipher", L"2.0"), DownloadPath(PackageKind::Library, "cipher", "2.0")},
      {LibraryDownloadPath(L"cipher", kLatestVersionWide), DownloadPath(PackageKind::Library, "cipher", kLatestVersion)},
      {RuntimeDownloadPath(L"python", L"3.11.4"), DownloadPath(PackageKind::Runtime, "python", "3.11.4")},
  };
  for (const auto& c : cases) EXPECT_EQ(c.request, WidePath("/" + c.file));
}

}  // namespace
}  // namespace Kyrowan::Tree
