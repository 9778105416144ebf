#include "package/files_package_element.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "kyrpack/packer.h"
#include "package/native_lib_package.h"
#include "package/python_runtime_package.h"
#include "tests/fake_http_answer.h"
#include "tests/package_test_support.h"
#include "tests/test_signer.h"
#include "tests/zip_test_support.h"

namespace Kyrowan {
namespace {

namespace fs = std::filesystem;
using Testing::ReadTestFile;
using Testing::WriteTestFile;

LibPkgInfo_s NativeLibInfo(const std::string& name, const std::string& version) {
  LibPkgInfo_s info;
  info.runtime.type = 2;
  info.name = name;
  info.version = version;
  return info;
}

class InstalledPackageTest : public ::testing::Test {
 protected:
  // Installs a signed native library (two files) as the version folder `folderVersion`.
  std::string Install(const std::string& name, const std::string& folderVersion, LibPkgInfo_s info) {
    const std::string files = root.DataRoot() + "/libraries/" + name + "/" + folderVersion + "/" + name;
    Testing::WriteSignedPackage(files, info, {{"libone.so", "one"}, {"sub/two.dat", "two"}});
    return files;
  }

  // A served answer: the package file of a signed native library that needs `dependencies`.
  Testing::FakeHttpAnswer Served(const LibPkgInfo_s& info) {
    const std::string source = root.Folder() + "/source-" + info.name + info.version, package = source + ".kpkg";
    WriteTestFile(source + "/libone.so", "one");
    Kyrpack::PackFacts facts;
    facts.kind = Kyrpack::PackageKind::Library;
    facts.runtimeType = info.runtime.type;
    facts.name = info.name;
    facts.version = info.version;
    facts.dependencies = info.dependencies;
    std::string error;
    EXPECT_TRUE(Kyrpack::PackFolder(facts, source, Testing::TestSigner(), package, error)) << error;
    const std::string bytes = ReadTestFile(package);
    return {200, static_cast<std::int64_t>(bytes.size()), {bytes}};
  }

  Testing::TempDataRoot root;
};

TEST_F(InstalledPackageTest, AbsentPackageIsNotFound) {
  NativeKyrLibPackage lib(L"absent", L"1.0.0");
  EXPECT_EQ(lib.CheckPresent(), PkgNotFound);
  EXPECT_EQ(lib.Validate(), PkgNotFound);
}

TEST_F(InstalledPackageTest, SignedPackageIsPresentAndValid) {
  Install("good", "1.0.0", NativeLibInfo("good", "1.0.0"));
  NativeKyrLibPackage lib(L"good", L"1.0.0");
  EXPECT_EQ(lib.CheckPresent(), PkgFound);
  EXPECT_EQ(lib.Validate(), PkgOperationSucceeded);
}

TEST_F(InstalledPackageTest, SecondValidateComesFromTheCache) {
  const std::string files = Install("cached", "1.0.0", NativeLibInfo("cached", "1.0.0"));
  NativeKyrLibPackage lib(L"cached", L"1.0.0");
  ASSERT_EQ(lib.Validate(), PkgOperationSucceeded);
  fs::remove_all(files);
  EXPECT_EQ(lib.Validate(), PkgOperationSucceeded);
}

TEST_F(InstalledPackageTest, ManifestProblemsAreRequiredFileInvalid) {
  // Signed, but under a name that differs only in case.
  Install("casename", "1.0.0", NativeLibInfo("CaseName", "1.0.0"));
  NativeKyrLibPackage wrongName(L"casename", L"1.0.0");
  EXPECT_FALSE(wrongName.VerifyManifest());
  EXPECT_EQ(wrongName.CheckPresent(), PkgRequiredFileInvalid);

  const std::string files = Install("altered", "1.0.0", NativeLibInfo("altered", "1.0.0"));
  std::string manifest = ReadTestFile(files + "/manifest.json");
  manifest.replace(manifest.find("sub/two.dat"), 11, "sub/six.dat");
  WriteTestFile(files + "/manifest.json", manifest);
  NativeKyrLibPackage altered(L"altered", L"1.0.0");
  EXPECT_EQ(altered.CheckPresent(), PkgRequiredFileInvalid);

  WriteTestFile(root.DataRoot() + "/libraries/garbage/1.0.0/garbage/manifest.json", "{not json");
  NativeKyrLibPackage garbage(L"garbage", L"1.0.0");
  EXPECT_EQ(garbage.CheckPresent(), PkgRequiredFileInvalid);
}

TEST_F(InstalledPackageTest, FolderCountsOnlyForTheVersionItIsNamedBy) {
  const struct {
    const char* folder;
    const char* manifest;
    PkgResult_e present;
  } cases[] = {
      {"0.0.0", "1.2.0", PkgNotFound},  // unpacked, never moved into place
      {"1.0.0", "1.1.0", PkgRequiredFileInvalid},
      {"2.0.0-rc1", "2.0.0-RC1", PkgFound},
  };
  for (const auto& c : cases) {
    Install("folderver", c.folder, NativeLibInfo("folderver", c.manifest));
    NativeKyrLibPackage lib(L"folderver", Windows::ToWide(c.folder));
    EXPECT_EQ(lib.CheckPresent(), c.present) << c.folder;
  }
}

TEST_F(InstalledPackageTest, MissingAndChangedFiles) {
  const std::string missing = Install("missing", "1.0.0", NativeLibInfo("missing", "1.0.0"));
  fs::remove(missing + "/sub/two.dat");
  NativeKyrLibPackage lib(L"missing", L"1.0.0");
  EXPECT_EQ(lib.CheckPresent(), PkgFilesMissing);
  EXPECT_EQ(lib.Validate(), PkgFilesMissing);

  const std::string changed = Install("changed", "1.0.0", NativeLibInfo("changed", "1.0.0"));
  WriteTestFile(changed + "/libone.so", "One");
  NativeKyrLibPackage tampered(L"changed", L"1.0.0");
  EXPECT_EQ(tampered.CheckPresent(), PkgFound);
  EXPECT_EQ(tampered.Validate(), PkgFilesInvalid);
  EXPECT_EQ(tampered.GetCachedState(), 0);
}

TEST_F(InstalledPackageTest, EmptyListedFileIsPresentButInvalid) {
  LibPkgInfo_s info = NativeLibInfo("emptyfile", "1.0.0");
  const std::string files = root.DataRoot() + "/libraries/emptyfile/1.0.0/emptyfile";
  Testing::WriteSignedPackage(files, info, {{"a.so", "a"}, {"empty.dat", ""}});
  NativeKyrLibPackage lib(L"emptyfile", L"1.0.0");
  EXPECT_EQ(lib.CheckPresent(), PkgFound);
  EXPECT_EQ(lib.Validate(), PkgFilesInvalid);
}

TEST_F(InstalledPackageTest, ManifestListingItselfNeedsNoFileSignature) {
  LibPkgInfo_s info = NativeLibInfo("selfref", "1.0.0");
  const std::string files = root.DataRoot() + "/libraries/selfref/1.0.0/selfref";
  WriteTestFile(files + "/a.so", "a");
  info.files = {{"a.so", Testing::SignWithTestKey("a")}, {"manifest.json", "not a signature"}};
  info.signature = Testing::SignWithTestKey(SignedText(info));
  WriteTestFile(files + "/manifest.json", nlohmann::json(info).dump());
  NativeKyrLibPackage lib(L"selfref", L"1.0.0");
  EXPECT_EQ(lib.Validate(), PkgOperationSucceeded);
}

TEST_F(InstalledPackageTest, FileEntriesResolveUnderTheFilesFolder) {
  NativeKyrLibPackage lib(L"paths", L"1.0.0");
  std::wstring path;
  ASSERT_TRUE(lib.ResolveFilePath("bin/x64\\lib.so", path));
  EXPECT_EQ(path, Testing::NativePath(lib.GetFilesFolder() + L"bin/x64/lib.so"));
}

TEST_F(InstalledPackageTest, InstallMovesTheFolderToTheManifestVersion) {
  Install("moved", "0.0.0", NativeLibInfo("moved", "1.2.0"));
  // An older copy of the target version is replaced, not merged.
  WriteTestFile(root.DataRoot() + "/libraries/moved/1.2.0/stale.txt", "old");
  NativeKyrLibPackage lib(L"moved", L"0.0.0");
  ASSERT_EQ(lib.Install(), PkgOperationSucceeded);
  std::wstring version;
  lib.GetVersion(version);
  EXPECT_EQ(version, L"1.2.0");
  const std::string target = root.DataRoot() + "/libraries/moved/1.2.0";
  EXPECT_EQ(lib.GetInstallFolder(), Testing::NativePath(Windows::FromUtf8(target + "/")));
  EXPECT_TRUE(fs::exists(target + "/moved/manifest.json"));
  EXPECT_FALSE(fs::exists(target + "/stale.txt"));
  EXPECT_FALSE(fs::exists(root.DataRoot() + "/libraries/moved/0.0.0"));
  EXPECT_EQ(lib.Validate(), PkgOperationSucceeded);
}

TEST_F(InstalledPackageTest, VersionWithCapitalsIsFoundAgainAfterInstall) {
  Install("capver", "0.0.0", NativeLibInfo("capver", "1.0.0-RC1"));
  NativeKyrLibPackage lib(L"capver", L"0.0.0");
  ASSERT_EQ(lib.Install(), PkgOperationSucceeded);
  std::wstring version;
  lib.GetVersion(version);
  EXPECT_EQ(version, L"1.0.0-RC1");  // what the catalogue records
  NativeKyrLibPackage again(L"capver", L"1.0.0-RC1");
  EXPECT_EQ(again.Validate(), PkgOperationSucceeded);
}

TEST_F(InstalledPackageTest, InstallRefusesAVersionOtherThanAskedFor) {
  const struct {
    const char* asked;
    const char* manifest;
  } cases[] = {{"1.0.0", "1.1.0"}, {"0.0.0", "0.0.0"}};
  for (const auto& c : cases) {
    const std::string files = Install("otherver", c.asked, NativeLibInfo("otherver", c.manifest));
    NativeKyrLibPackage lib(L"otherver", Windows::ToWide(c.asked));
    EXPECT_EQ(lib.Install(), PkgRequiredFileInvalid) << c.asked;
    EXPECT_FALSE(fs::exists(files));
    std::wstring version;
    lib.GetVersion(version);
    EXPECT_EQ(version, Windows::ToWide(c.asked));
  }
  EXPECT_FALSE(fs::exists(root.DataRoot() + "/libraries/otherver/1.1.0"));
}

TEST_F(InstalledPackageTest, InstallInPlaceWhenTheVersionIsUnchanged) {
  Install("inplace", "1.0.0", NativeLibInfo("inplace", "1.0.0"));
  NativeKyrLibPackage lib(L"inplace", L"1.0.0");
  EXPECT_EQ(lib.Install(), PkgOperationSucceeded);
  EXPECT_TRUE(fs::exists(root.DataRoot() + "/libraries/inplace/1.0.0/inplace/libone.so"));
}

TEST_F(InstalledPackageTest, ManifestVersionThatLeavesTheDataRootFailsTheInstall) {
  for (const char* version : {"../../../../escaped", "..", "1.0/x"}) {
    Install("escape", "0.0.0", NativeLibInfo("escape", version));
    NativeKyrLibPackage lib(L"escape", L"0.0.0");
    EXPECT_EQ(lib.Install(), PkgInstallFailed) << version;
    EXPECT_TRUE(fs::exists(root.DataRoot() + "/libraries/escape/0.0.0/escape/manifest.json"));
  }
  EXPECT_FALSE(fs::exists(root.Folder() + "/escaped"));
}

TEST_F(InstalledPackageTest, TargetThatCannotBeRemovedFailsTheInstall) {
  // A name longer than a folder name may be: removing that target fails.
  Install("longver", "0.0.0", NativeLibInfo("longver", std::string(300, '1')));
  NativeKyrLibPackage lib(L"longver", L"0.0.0");
  EXPECT_EQ(lib.Install(), PkgInstallFailed);
  EXPECT_TRUE(fs::exists(root.DataRoot() + "/libraries/longver/0.0.0/longver/manifest.json"));
}

// A failed attempt takes away the folders it made, and nothing that stood there before.
TEST_F(InstalledPackageTest, FailedObtainLeavesNoFolderBehind) {
  Install("kept", "1.0.0", NativeLibInfo("kept", "1.0.0"));
  const std::string libraries = root.DataRoot() + "/libraries";
  const std::vector<std::string> before = Testing::ListTree(libraries);
  const struct {
    Testing::FakeHttpAnswer answer;
    PkgResult_e result;
  } cases[] = {{{404, 0, {}}, PkgDownloadFailed},
               {{200, 4, {"junk"}}, PkgFilesInvalid},
               {Served(NativeLibInfo("other", "2.0.0")), PkgRequiredFileInvalid}};  // signed, but not what was asked
  for (const auto& c : cases) {
    Testing::SetFakeHttpAnswer(&c.answer);
    for (const wchar_t* name : {L"kept", L"fresh"}) {
      NativeKyrLibPackage lib(name, L"2.0.0");
      EXPECT_EQ(lib.Obtain(), c.result) << c.answer.status;
    }
    EXPECT_EQ(Testing::ListTree(libraries), before) << c.answer.status;
  }
  Testing::SetFakeHttpAnswer(nullptr);
}

TEST_F(InstalledPackageTest, AFailedDependencyTakesAwayOnlyTheVersionItsObtainUnpacked) {
  // Every request gets this package, so the dependency arrives as another version and is refused.
  LibPkgInfo_s needy = NativeLibInfo("needy", "2.0.0");
  needy.dependencies = {{2, "needy", "1.0.0"}};
  const Testing::FakeHttpAnswer answer = Served(needy);
  Testing::SetFakeHttpAnswer(&answer);
  NativeKyrLibPackage fresh(L"needy", L"2.0.0");
  EXPECT_EQ(fresh.Obtain(), PkgRequiredFileInvalid);
  EXPECT_FALSE(fs::exists(root.DataRoot() + "/libraries/needy"));
  // Installed before and damaged since: the fresh copy lands in its folder, and stays.
  const std::string files = Install("needy", "2.0.0", needy);
  WriteTestFile(files + "/libone.so", "One");
  NativeKyrLibPackage installed(L"needy", L"2.0.0");
  EXPECT_EQ(installed.Obtain(), PkgRequiredFileInvalid);
  EXPECT_TRUE(fs::exists(files + "/manifest.json"));
  Testing::SetFakeHttpAnswer(nullptr);
}

TEST_F(InstalledPackageTest, UnpackWithoutArchiveIsFilesMissing) {
  NativeKyrLibPackage lib(L"noarchive", L"1.0.0");
  EXPECT_EQ(lib.UnpackAndInstall(), PkgFilesMissing);
}

TEST_F(InstalledPackageTest, RuntimePackageIsFilesOnly) {
  RuntimePkgInfo_s info;
  info.name = "python";
  info.version = "3.6.2";
  Testing::WriteSignedPackage(root.DataRoot() + "/runtimes/python/3.6.2/python", info, {{"python", "#!"}});
  PythonRuntimePackage python(L"python", L"3.6.2");
  EXPECT_EQ(python.Validate(), PkgOperationSucceeded);
  EXPECT_EQ(python.AttachToRuntime(), PkgOperationSucceeded);
  EXPECT_EQ(python.DetachFromRuntime(), PkgOperationSucceeded);
}

}  // namespace
}  // namespace Kyrowan
