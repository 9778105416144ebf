#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/command_processor.h"
#include "app/package_manager.h"
#include "tests/capture_stdout.h"
#include "tests/scoped_temp.h"
#include "tests/temp_data_root.h"

namespace Kyrowan {
namespace {

// -get, -run and -about through the dispatcher, in a temporary data folder and
// with the unit tests' server (127.0.0.1:1), which never answers.
class PackageCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { processor.RegisterCommands(); }
  void TearDown() override { PackageManager::DestroyInstance(); }

  // What the command printed after the banner.
  std::string Run(std::vector<const wchar_t*> argv) {
    argv.insert(argv.begin(), L"kyrdecrypt");
    const std::string out =
        Testing::CaptureStdout([&] { processor.Process(static_cast<int>(argv.size()), argv.data()); });
    return out.substr(out.find('\n', 1) + 1);
  }

  Testing::TempDataRoot data;
  CommandProcessor processor;
  const std::string invalid = "Invalid arguments. Try KyrDecrypt \"-help\" for details\n";
  const std::string getting = "\nDownloading decryptor and its depedencies. Please wait ...\n";
  const std::string running = "\nValidating and running decryptor. Please wait ...\n";
  const std::string failed = "Requested operation failed.\n";
};

TEST_F(PackageCommandsTest, MissingNamesAndValuesAreInvalidBeforeAnyWork) {
  EXPECT_EQ(Run({L"-get"}), invalid);
  EXPECT_EQ(Run({L"-about"}), invalid);
  EXPECT_EQ(Run({L"-run"}), invalid);
  EXPECT_EQ(Run({L"-get", L"stampado", L"-ver"}), invalid);
  EXPECT_EQ(Run({L"-get", L"stampado", L"-VER", L""}), invalid);
  EXPECT_EQ(Run({L"-run", L"stampado", L"-args"}), invalid);
  EXPECT_EQ(Run({L"-run", L"stampado", L"-ver", L"1.0.0", L"-args"}), invalid);
  EXPECT_EQ(Run({L"-about", L"stampado", L"-ver"}), invalid);
}

TEST_F(PackageCommandsTest, RunAndAboutWithNothingDownloadedAreNotFound) {
  EXPECT_EQ(Run({L"-run", L"stampado"}), running + "Package not found on this system\n" + failed);
  EXPECT_EQ(Run({L"-about", L"stampado", L"1.0.0"}), running + "Package not found on this system\n" + failed);
  // An explicit version makes an element anyway; it finds nothing installed.
  EXPECT_EQ(Run({L"-run", L"stampado", L"-ver", L"1.0.0", L"-args", L"-e x"}),
            running + "Package not found on this system\n" + failed);
}

TEST_F(PackageCommandsTest, GetWithoutServerFailsToDownload) {
  EXPECT_EQ(Run({L"-get", L"stampado", L"-ver", L"1.0.0"}),
            getting +
                "Failed to download package. Please check decryptor name/version or your network connection and try "
                "again.\n" +
                failed);
}

TEST_F(PackageCommandsTest, NamesThatLeaveTheDataRootMakeNoElement) {
  const std::string refused = "An error occured in selected operation\n" + failed;
  EXPECT_EQ(Run({L"-get", L"../../escape"}), getting + refused);
  EXPECT_EQ(Run({L"-get", L"stampado", L"-ver", L"../1.0"}), getting + refused);
  EXPECT_EQ(Run({L"-run", L"stampado", L"-ver", L".."}), running + refused);
  EXPECT_EQ(Run({L"-about", L"a\\b", L"-ver", L"1.0"}), running + refused);
  EXPECT_FALSE(std::filesystem::exists(data.Path() / "Kyrowan" / "escape"));
}

}  // namespace
}  // namespace Kyrowan
