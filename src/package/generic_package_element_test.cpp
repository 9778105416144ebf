#include "package/generic_package_element.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "package/decryptor_package.h"
#include "package/native_lib_package.h"
#include "package/python_lib_package.h"
#include "tests/package_test_support.h"

namespace Kyrowan {
namespace {

namespace fs = std::filesystem;

PkgInfo_s DecryptorInfo(const std::string& name, int runtimeType, const std::string& runtimeVersion,
                        std::vector<DependencyEntry_s> dependencies) {
  PkgInfo_s info;
  info.runtime = {runtimeType, runtimeVersion};
  info.name = name;
  info.version = "1.0.0";
  info.module = "decryptor.so";
  info.run = "run";
  info.help = "help";
  info.dependencies = std::move(dependencies);
  return info;
}

class DependencyTest : public ::testing::Test {
 protected:
  std::string DecryptorFiles(const std::string& name) {
    return root.DataRoot() + "/decryptors/" + name + "/1.0.0/" + name;
  }
  void InstallDecryptor(PkgInfo_s info) {
    const std::string name = info.name;
    Testing::WriteSignedPackage(DecryptorFiles(name), info, {{"decryptor.so", "code"}});
  }
  std::string LibraryFiles(const std::string& name, const std::string& version) {
    return root.DataRoot() + "/libraries/" + name + "/" + version + "/" + name;
  }
  void InstallNativeLibrary(const std::string& name, const std::string& content, const std::string& version = "2.0.0") {
    LibPkgInfo_s info;
    info.runtime.type = 2;
    info.name = name;
    info.version = version;
    Testing::WriteSignedPackage(LibraryFiles(name, version), info, {{"lib" + name + ".so", content}});
  }
  static std::vector<int> Kinds(const DecryptorPackage& decryptor) {
    std::vector<int> kinds;
    for (const auto& dependency : decryptor.GetDependencies()) kinds.push_back(dependency->GetKind());
    return kinds;
  }

  Testing::TempDataRoot root;
};

TEST_F(DependencyTest, PythonDecryptorGetsItsRuntimePackageFirst) {
  InstallDecryptor(DecryptorInfo("pydec", 1, "3.6.2", {{2, "helpers", "1.0.0"}, {2, "more", "0.0.0"}}));
  DecryptorPackage decryptor(L"pydec", L"1.0.0");
  ASSERT_TRUE(decryptor.LoadManifest());
  ASSERT_TRUE(decryptor.ResolveDependencies());
  EXPECT_EQ(Kinds(decryptor), (std::vector<int>{PkgKindPythonRuntime, PkgKindPythonLibrary, PkgKindPythonLibrary}));
  std::wstring text;
  decryptor.GetDependencies()[0]->GetName(text);
  EXPECT_EQ(text, L"python");
  decryptor.GetDependencies()[0]->GetVersion(text);
  EXPECT_EQ(text, L"3.6.2");
}

TEST_F(DependencyTest, PythonRuntimeOfNoParticularVersionIsNoPackage) {
  InstallDecryptor(DecryptorInfo("pylatest", 1, "0.0.0", {{2, "helpers", "1.0.0"}}));
  DecryptorPackage decryptor(L"pylatest", L"1.0.0");
  ASSERT_TRUE(decryptor.LoadManifest());
  ASSERT_TRUE(decryptor.ResolveDependencies());
  EXPECT_EQ(Kinds(decryptor), (std::vector<int>{PkgKindPythonLibrary}));
}

TEST_F(DependencyTest, NativeDecryptorSkipsWhatItCannotUse) {
  InstallDecryptor(DecryptorInfo("natdec", 2, "1.0",
                                 {{1, "requests", "2.0"}, {2, "zlib", "2.0.0"}, {3, "odd", "1.0"}}));
  DecryptorPackage decryptor(L"natdec", L"1.0.0");
  ASSERT_TRUE(decryptor.LoadManifest());
  ASSERT_TRUE(decryptor.ResolveDependencies());
  EXPECT_EQ(Kinds(decryptor), (std::vector<int>{PkgKindNativeLibrary}));
}

TEST_F(DependencyTest, RefusedDependencyIsMissingNotSkipped) {
  const struct {
    const char* name;
    int runtimeType;
    const char* runtimeVersion;
    std::vector<DependencyEntry_s> dependencies;
  } cases[] = {
      {"badname", 2, "1.0", {{2, "zlib", "2.0.0"}, {2, "../escape", "1.0"}}},
      {"badver", 2, "1.0", {{2, "zlib", ""}}},
      {"badruntime", 1, "../3.6", {}},
  };
  for (const auto& c : cases) {
    InstallDecryptor(DecryptorInfo(c.name, c.runtimeType, c.runtimeVersion, c.dependencies));
    DecryptorPackage decryptor(Windows::ToWide(c.name), L"1.0.0");
    EXPECT_EQ(decryptor.CheckPresent(), PkgDependenciesMissing) << c.name;
    EXPECT_TRUE(decryptor.GetDependencies().empty()) << c.name;
  }
}

TEST_F(DependencyTest, IncompleteManifestResolvesNothing) {
  PkgInfo_s info = DecryptorInfo("nohelp", 2, "1.0", {});
  info.help.clear();
  InstallDecryptor(info);
  DecryptorPackage decryptor(L"nohelp", L"1.0.0");
  EXPECT_FALSE(decryptor.ResolveDependencies());
  EXPECT_EQ(decryptor.CheckPresent(), PkgDependenciesMissing);
  EXPECT_EQ(decryptor.Validate(), PkgDependenciesMissing);
}

TEST_F(DependencyTest, DecryptorIsPresentOnlyWithItsLibraries) {
  InstallDecryptor(DecryptorInfo("needslib", 2, "1.0", {{2, "zlib", "2.0.0"}}));
  DecryptorPackage withoutLibrary(L"needslib", L"1.0.0");
  EXPECT_EQ(withoutLibrary.CheckPresent(), PkgNotFound);

  InstallNativeLibrary("zlib", "z");
  DecryptorPackage withLibrary(L"needslib", L"1.0.0");
  EXPECT_EQ(withLibrary.CheckPresent(), PkgFound);
  EXPECT_EQ(withLibrary.Validate(), PkgOperationSucceeded);
}

TEST_F(DependencyTest, LatestLibraryIsTheHighestInstalledThatValidates) {
  InstallDecryptor(DecryptorInfo("anylib", 2, "1.0", {{2, "multi", "0.0.0"}}));
  for (const char* version : {"2.0.0", "10.0.0", "11.0.0"}) InstallNativeLibrary("multi", "m", version);
  Testing::WriteTestFile(LibraryFiles("multi", "11.0.0") + "/libmulti.so", "M");
  DecryptorPackage decryptor(L"anylib", L"1.0.0");
  ASSERT_EQ(decryptor.Validate(), PkgOperationSucceeded);
  const auto& library = dynamic_cast<const NativeKyrLibPackage&>(*decryptor.GetDependencies().at(0));
  EXPECT_EQ(library.GetLibraryFolder(), Testing::NativePath(Windows::FromUtf8(LibraryFiles("multi", "10.0.0") + "/")));
}

TEST_F(DependencyTest, TamperedLibraryInvalidatesTheDecryptor) {
  InstallDecryptor(DecryptorInfo("badlib", 2, "1.0", {{2, "brokenlib", "2.0.0"}}));
  InstallNativeLibrary("brokenlib", "b");
  Testing::WriteTestFile(LibraryFiles("brokenlib", "2.0.0") + "/libbrokenlib.so", "B");
  DecryptorPackage decryptor(L"badlib", L"1.0.0");
  EXPECT_EQ(decryptor.Validate(), PkgFilesInvalid);
  EXPECT_EQ(decryptor.GetCachedState(), 0);
}

TEST_F(DependencyTest, AttachRegistersEveryFolderWithTheSharedRuntime) {
  InstallDecryptor(DecryptorInfo("attach", 2, "1.0", {{2, "attachlib", "2.0.0"}}));
  InstallNativeLibrary("attachlib", "a");
  DecryptorPackage decryptor(L"attach", L"1.0.0");
  ASSERT_EQ(decryptor.Validate(), PkgOperationSucceeded);
  EXPECT_EQ(decryptor.AttachToRuntime(), PkgOperationSucceeded);
  EXPECT_EQ(decryptor.DetachFromRuntime(), PkgOperationSucceeded);
}

}  // namespace
}  // namespace Kyrowan
