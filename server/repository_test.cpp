#include "repository.h"

#include <gtest/gtest.h>

#include "tests/scoped_temp.h"

namespace KyrServer {
namespace {

TEST(RepositoryTest, RequestsMapToTheirOwnPathsAndUnsafePartsToNothing) {
  const Repository repository("/srv/tree");
  // In the generic form: Windows joins the root and the tree's path with its own separator.
  const auto file = [&](PackageKind kind, const char* name, const char* version) {
    return repository.PackageFile(kind, name, version).generic_string();
  };
  EXPECT_EQ(repository.ListFile(), "/srv/tree/package/list/0.0.0");
  EXPECT_EQ(repository.IdentifyFile(), "/srv/tree/package/identify/0.0.0");
  EXPECT_EQ(repository.LatestVersionFile("stampado"), "/srv/tree/package/query/latestver/64/stampado");
  EXPECT_EQ(file(PackageKind::Decryptor, "stampado", "1.0"), "/srv/tree/package/download/64/stampado/1.0");
  // The download without a version is the latest one, which a tree keeps as "0.0.0".
  EXPECT_EQ(file(PackageKind::Decryptor, "stampado", ""), "/srv/tree/package/download/64/stampado/0.0.0");
  EXPECT_EQ(file(PackageKind::Library, "zlib", "0.0.0"), "/srv/tree/library/download/64/zlib/0.0.0");
  EXPECT_EQ(file(PackageKind::Runtime, "python", "3.11"), "/srv/tree/runtime/download/64/python/3.11");
  EXPECT_TRUE(repository.LatestVersionFile("..").empty());
  EXPECT_EQ(file(PackageKind::Decryptor, "stampado", "../2.0"), "");
  EXPECT_EQ(file(PackageKind::Library, "a/b", "1.0"), "");
  EXPECT_EQ(repository.TrustFile("/trust/snapshot.json"), "/srv/tree/trust/snapshot.json");
  EXPECT_EQ(repository.TrustFile("/trust/root/12.json"), "/srv/tree/trust/root/12.json");
  for (const char* other : {"/trust/root/.json", "/trust/root/01.json", "/trust/root/1x.json", "/trust/root/../1.json",
                            "/trust/root/1.json/", "/trust/other.json"})
    EXPECT_EQ(repository.TrustFile(other), "") << other;
}

TEST(RepositoryTest, AFolderOfTheOldLayoutIsNamedWithTheWayToPublishIt) {
  Kyrowan::Testing::TempFolder temp;
  const Repository repository(temp.Path());
  EXPECT_EQ(repository.LayoutProblem(), "");
  std::filesystem::create_directories(temp.Path() / "decryptors/stampado/1.0");
  EXPECT_EQ(repository.LayoutProblem(),
            "'" + temp.Path().string() + "' holds package folders but no published tree; publish them into it with: " +
                "kyrpack publish --public KEY --repo " + temp.Path().string() + " " + temp.Path().string() +
                "/*/*/*/*.kpkg");
  std::filesystem::create_directories(temp.Path() / "package");
  EXPECT_EQ(repository.LayoutProblem(), "");
}

}  // namespace
}  // namespace KyrServer
