#include "package/python_run_lib_package.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "package/package_element_factory.h"
#include "runtime/python_scripts.h"
#include "runtime/runtime.h"
#include "runtime/runtime_factory.h"
#include "tests/python_runtime_test_support.h"
#include "tests/scoped_temp.h"

namespace Kyrowan {
namespace {

/// Pip library elements over a Python runtime whose interpreter is a fake.
class PythonRunLibPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files = temp.Path().string() + "/";
    Testing::WriteFakeInterpreter(files);
    Testing::SetFakeAnswers(files, kPipCheckNotFound, 0);
    ReleaseAllRuntimes();
  }
  void TearDown() override {
    ReleaseAllRuntimes();
    SetRuntimeMakerForTesting(nullptr);
  }
  /// Lets the registry make ready runtimes over the fake interpreter, then makes
  /// the decryptor's runtime, which the pip library then shares.
  void MakeDecryptorRuntime() {
    const std::string folder = files;
    SetRuntimeMakerForTesting([folder](std::uint32_t, const std::wstring& version) {
      return std::make_shared<Testing::FolderPythonRuntime>(folder, version);
    });
    std::shared_ptr<IKyrDecryptRuntime> runtime;
    ASSERT_EQ(GetRuntime(RuntimeTypePython, L"python", L"3.11.2", runtime), 1);
  }
  std::shared_ptr<IKyrDecryptPackageElement> Make(const std::wstring& name, const std::wstring& version) {
    std::shared_ptr<IKyrDecryptPackageElement> element;
    EXPECT_TRUE(CreatePackageElement(PkgKindPipLibrary, name, version, element));
    return element;
  }
  std::string Calls() { return Testing::ReadText(files + "calls.log"); }

  Testing::TempFolder temp;
  std::string files;
};

TEST_F(PythonRunLibPackageTest, FactoryMakesThePipElementWithLowerCasedNames) {
  auto element = Make(L"KyrSample-Pad", L"2.0");
  ASSERT_NE(element, nullptr);
  std::wstring name;
  EXPECT_TRUE(element->GetName(name));
  EXPECT_EQ(name, L"kyrsample-pad");
  EXPECT_EQ(element->GetKind(), PkgKindPipLibrary);
  EXPECT_EQ(element->AttachToRuntime(), PkgOperationSucceeded);
  EXPECT_EQ(element->DetachFromRuntime(), PkgOperationSucceeded);
}

TEST_F(PythonRunLibPackageTest, WithoutADecryptorRuntimeNothingRuns) {
  // Only "0.0.0" is asked for: that runtime has no interpreter.
  auto element = Make(L"pad-unready", L"2.0");
  EXPECT_EQ(element->CheckPresent(), PkgRunFailed);
  EXPECT_EQ(element->Validate(), PkgOperationFailed);
  EXPECT_EQ(element->Obtain(), PkgRunFailed);
  EXPECT_FALSE(std::filesystem::exists(files + "calls.log"));
}

TEST_F(PythonRunLibPackageTest, ValidateChecksOnceAndRemembersSuccess) {
  MakeDecryptorRuntime();
  Testing::SetFakeAnswers(files, kPipCheckFound, 0);
  auto element = Make(L"pad-cached", L"2.1");
  EXPECT_EQ(element->CheckPresent(), PkgFound);
  EXPECT_EQ(element->Validate(), PkgOperationSucceeded);
  EXPECT_EQ(Calls(), "script\nscript\n");
  Testing::SetFakeAnswers(files, kPipCheckNotFound, 0);
  EXPECT_EQ(element->Validate(), PkgOperationSucceeded);  // from the cache, nothing started
  EXPECT_EQ(element->Obtain(), PkgOperationSucceeded);
  EXPECT_FALSE(std::filesystem::exists(files + "calls.log"));
}

TEST_F(PythonRunLibPackageTest, ObtainInstallsTheVersionAskedForWhenTheCheckMissesIt) {
  MakeDecryptorRuntime();
  auto element = Make(L"pad-missing", L"2.1");
  EXPECT_EQ(element->Validate(), PkgOperationFailed);
  Testing::SetFakeAnswers(files, kPipCheckNotFound, 0);
  EXPECT_EQ(element->Obtain(), PkgOperationSucceeded);
  EXPECT_EQ(Calls(), "script\nscript\n-I -B -m pip install pad-missing==2.1\n");
  Testing::SetFakeAnswers(files, kPipCheckNotFound, 1);
  EXPECT_EQ(Make(L"pad-broken", L"0.0.0")->Obtain(), PkgOperationFailed);
  EXPECT_EQ(Calls(), "script\nscript\n-I -B -m pip install pad-broken\n");
}

}  // namespace
}  // namespace Kyrowan
