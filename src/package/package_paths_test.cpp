#include "package/package_paths.h"

#include <gtest/gtest.h>

#include "package/decryptor_package.h"
#include "package/native_lib_package.h"
#include "package/python_lib_package.h"
#include "package/python_runtime_package.h"
#include "platform/text.h"
#include "tests/package_test_support.h"

namespace Kyrowan {
namespace {

using Windows::FromUtf8;

class PackagePathsTest : public ::testing::Test {
 protected:
  /// `rest` under the data root, written with "/".
  std::wstring At(const std::wstring& rest) const { return Testing::NativePath(FromUtf8(root.DataRoot()) + rest); }

  Testing::TempDataRoot root;
};

TEST_F(PackagePathsTest, NativeLibraryLayout) {
  NativeKyrLibPackage lib(L"Zlib", L"1.2.13");
  EXPECT_EQ(lib.GetDownloadUrl(), L"/library/download/64/zlib/1.2.13");
  EXPECT_EQ(lib.GetInstallFolder(), At(L"/libraries/zlib/1.2.13/"));
  EXPECT_EQ(lib.GetFilesFolder(), At(L"/libraries/zlib/1.2.13/zlib/"));
  EXPECT_EQ(lib.GetManifestPath(), At(L"/libraries/zlib/1.2.13/zlib/manifest.json"));
  EXPECT_EQ(lib.GetArchivePath(), At(L"/libraries/zlib/1.2.13/zlib.zip"));
  EXPECT_EQ(lib.GetLibraryFolder(), lib.GetFilesFolder());
}

TEST_F(PackagePathsTest, PythonLibraryRegistersTheFolderAboveItsFiles) {
  PythonKyrLibPackage lib(L"helpers", L"0.0.0");
  EXPECT_EQ(lib.GetDownloadUrl(), L"/library/download/64/helpers/0.0.0");
  EXPECT_EQ(lib.GetLibraryFolder(), At(L"/libraries/helpers/0.0.0/"));
}

TEST_F(PackagePathsTest, RuntimeLayout) {
  PythonRuntimePackage python(L"python", L"3.6.2");
  EXPECT_EQ(python.GetDownloadUrl(), L"/runtime/download/64/python/3.6.2");
  EXPECT_EQ(python.GetFilesFolder(), At(L"/runtimes/python/3.6.2/python/"));
}

TEST_F(PackagePathsTest, DecryptorLayout) {
  DecryptorPackage decryptor(L"Stampado", L"1.0.0");
  EXPECT_EQ(decryptor.GetDownloadUrl(), L"/package/download/64/stampado/1.0.0");
  EXPECT_EQ(decryptor.GetFilesFolder(), At(L"/decryptors/stampado/1.0.0/stampado/"));
  EXPECT_EQ(decryptor.GetLibraryFolder(), decryptor.GetFilesFolder());
  EXPECT_EQ(decryptor.GetDataFilePath(), At(L"/data/decr_stampado_1.0.0.json"));
}

TEST_F(PackagePathsTest, LatestDecryptorWithoutServerKeepsTheUnversionedPath) {
  // The unit tests' server (127.0.0.1:1) never answers.
  DecryptorPackage decryptor(L"stampado", L"0.0.0");
  std::wstring version;
  decryptor.GetVersion(version);
  EXPECT_EQ(version, L"0.0.0");
  EXPECT_EQ(decryptor.GetDownloadUrl(), L"/package/download/64/stampado");
  EXPECT_EQ(decryptor.GetInstallFolder(), At(L"/decryptors/stampado/0.0.0/"));
}

TEST_F(PackagePathsTest, LatestVersionAnswerIsTakenAsItIs) {
  DecryptorPackage decryptor(L"stampado", L"0.0.0");
  ASSERT_TRUE(decryptor.AdoptLatestVersion("1.1.0"));
  EXPECT_EQ(decryptor.GetDownloadUrl(), L"/package/download/64/stampado/1.1.0");
  EXPECT_EQ(decryptor.GetDataFilePath(), At(L"/data/decr_stampado_1.1.0.json"));
  DecryptorPackage other(L"stampado", L"0.0.0");
  ASSERT_TRUE(other.AdoptLatestVersion("1.1.0\n"));
  EXPECT_EQ(other.GetInstallFolder(), At(L"/decryptors/stampado/1.1.0\n/"));
}

TEST_F(PackagePathsTest, LatestVersionAnswerThatLeavesTheDataRootIsRefused) {
  for (const char* answer : {"../../../tmp/evil", "..", "1.0/x", "1.0\\x"}) {
    DecryptorPackage decryptor(L"stampado", L"0.0.0");
    EXPECT_FALSE(decryptor.AdoptLatestVersion(answer)) << answer;
    std::wstring version;
    decryptor.GetVersion(version);
    EXPECT_EQ(version, L"0.0.0");
    EXPECT_EQ(decryptor.GetInstallFolder(), At(L"/decryptors/stampado/0.0.0/"));
  }
}

TEST(FolderNameTest, AcceptsOnlyOneInnocentComponent) {
  EXPECT_TRUE(IsSafeFolderName(L"1.0.0"));
  EXPECT_TRUE(IsSafeFolderName(L"..a"));
  EXPECT_FALSE(IsSafeFolderName(L""));
  EXPECT_FALSE(IsSafeFolderName(L"."));
  EXPECT_FALSE(IsSafeFolderName(L".."));
  EXPECT_FALSE(IsSafeFolderName(L"a/b"));
  EXPECT_FALSE(IsSafeFolderName(L"a\\b"));
  EXPECT_FALSE(IsSafeFolderName(std::wstring(L"a\0", 2)));
}

}  // namespace
}  // namespace Kyrowan
