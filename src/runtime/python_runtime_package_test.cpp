#include "runtime/python_runtime.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "kyrpack/packer.h"
#include "package/package_file.h"
#include "package/python_runtime_package.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/text.h"
#include "runtime/python_scripts.h"
#include "tests/python_runtime_test_support.h"
#include "tests/scoped_temp.h"
#include "tests/temp_data_root.h"
#include "tests/trust_test_support.h"

namespace Kyrowan {
namespace {

/// A runtime package whose interpreter is the fake, signed with the test key
/// and unpacked where the client installs the runtime of `version`.
class PythonRuntimePackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // What the client's first package element does: runtimes find their packages.
    UsePythonRuntimePackages();
    ASSERT_TRUE(Windows::GetDataFolder(Windows::kDataFolderSuffix, dataRoot));
  }

  std::string Install(const std::string& version) {
    const std::string source = temp.Path().string() + "/source-" + version + "/";
    std::filesystem::create_directories(source + "lib");
    Testing::WriteFakeInterpreter(source);
    Testing::SetFakeAnswers(source, kPipCheckFound, 0);
    std::ofstream(source + "lib/os.py") << "# the standard library\n";
    Kyrpack::PackFacts facts;
    facts.kind = Kyrpack::PackageKind::Runtime;
    facts.name = "python";
    facts.version = version;
    const std::string package = temp.Path().string() + "/python-" + version + ".kpkg";
    std::string error;
    EXPECT_TRUE(Kyrpack::PackFolder(facts, source, Testing::TestSigner(), package, error)) << error;
    const std::wstring installFolder = dataRoot + L"/runtimes/python/" + Windows::FromUtf8(version) + L"/";
    EXPECT_TRUE(VerifyAndUnpackPackage(Windows::FromUtf8(package), installFolder));
    return Windows::ToUtf8(installFolder) + "python/";
  }

  Testing::TempFolder temp;
  Testing::TempDataRoot data;
  std::wstring dataRoot;
};

TEST_F(PythonRuntimePackageTest, AValidInstalledPackageMakesTheRuntimeReady) {
  const std::string files = Install("3.11.9");
  PythonRuntime runtime(L"3.11.9");
  ASSERT_TRUE(runtime.IsReady());
  // Compared as paths: the runtime writes the platform's own separators.
  EXPECT_EQ(std::filesystem::path(runtime.GetInterpreterPath()).lexically_normal(),
            std::filesystem::path(Windows::FromUtf8(files + "python") + Windows::kExecutableSuffix).lexically_normal());
  // The interpreter it found is the one that answers.
  EXPECT_EQ(runtime.IsPipPackageInstalled(L"kyrsample-pad", L"2.0"), PkgFound);
  EXPECT_EQ(Testing::ReadText(files + "calls.log"), "script\n");
}

TEST_F(PythonRuntimePackageTest, AMissingOrAlteredPackageLeavesTheRuntimeUnready) {
  EXPECT_FALSE(PythonRuntime(L"3.11.5").IsReady());
  const std::string files = Install("3.11.7");
  std::ofstream(files + "lib/os.py", std::ios::app) << "import evil\n";
  PythonRuntime altered(L"3.11.7");
  EXPECT_FALSE(altered.IsReady());
  std::int64_t exitCode = 1;
  EXPECT_EQ(altered.Execute(L"m.py", L"help", ExecuteModeHelp, exitCode, nullptr), PkgRunFailed);
  EXPECT_EQ(exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(files + "calls.log"));
}

}  // namespace
}  // namespace Kyrowan
