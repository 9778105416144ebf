// The sample decryptor run through the native runtime, as the client runs it.
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/text.h"
#include "runtime/native_runtime.h"
#include "tests/capture_stdout.h"
#include "tests/scoped_temp.h"

namespace Kyrowan {
namespace {

const std::wstring kDecryptorFolder = Windows::FromUtf8(KYRSAMPLE_DECRYPTOR_DIR);
const std::wstring kLibraryFolder = Windows::FromUtf8(KYRSAMPLE_LIBRARY_DIR);
const std::wstring kModule = Windows::FromUtf8(KYRSAMPLE_DECRYPTOR_MODULE);
const char* const kSampleNames[] = {"invoice-2026-11.txt", "notes.md", "mixed.bin"};

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SampleDecryptorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch = folder.Path().string();
    victims = scratch + "/My Files";
    ASSERT_TRUE(Windows::CreateFolderTree(Windows::FromUtf8(victims)));
    std::vector<std::wstring> arguments{L"-k", L"demo-key", L"--remove"};
    for (const char* name : kSampleNames) {
      const std::string copy = victims + "/" + name;
      ASSERT_TRUE(Windows::WriteNewFile(Windows::FromUtf8(copy), ReadBytes(std::string(KYRSAMPLE_FILES) + "/" + name)));
      arguments.push_back(Windows::FromUtf8(copy));
    }
    std::uint32_t status = 1;
    ASSERT_TRUE(Windows::RunProcess(Windows::FromUtf8(KYRSAMPLE_ENCRYPT), arguments, status));
    ASSERT_EQ(status, 0u);
    telemetryFile = scratch + "/decr_kyrsample_1.0.0.json";
  }

  std::int32_t Run(NativeRuntime& runtime, const std::wstring& arguments) {
    const nlohmann::json parameters{{"CustomTelemFile", WideToJsonArray(Windows::FromUtf8(telemetryFile))},
                                    {"DecrPkgPath", WideToJsonArray(kDecryptorFolder)},
                                    {"DecrPkgArgs", WideToJsonArray(arguments)}};
    std::int32_t result = 0;
    output = Testing::CaptureStdout([&] { result = runtime.Execute(kModule, L"run", 1, exitCode, parameters); });
    return result;
  }

  Testing::TempFolder folder;
  std::string scratch, victims, telemetryFile, output;
  std::int64_t exitCode = 0;
};

TEST_F(SampleDecryptorTest, RestoresLockedFilesAndReportsTheCount) {
  NativeRuntime runtime(L"1.0");
  runtime.AddLibraryPath(kDecryptorFolder);
  runtime.AddLibraryPath(kLibraryFolder);
  ASSERT_EQ(Run(runtime, L"-k demo-key \"" + Windows::FromUtf8(victims) + L"\""), PkgOperationSucceeded) << output;
  EXPECT_EQ(exitCode, 3);
  for (const char* name : kSampleNames) {
    EXPECT_EQ(ReadBytes(victims + "/" + name), ReadBytes(std::string(KYRSAMPLE_FILES) + "/" + name)) << name;
    EXPECT_FALSE(Windows::PathExists(Windows::FromUtf8(victims + "/" + name + ".kyrlocked")));
  }
  EXPECT_EQ(ReadBytes(telemetryFile), "{\"files\":3,\"failed\":0}");
}

TEST_F(SampleDecryptorTest, WrongKeyRestoresNothingAndKeepsTheLockedFiles) {
  NativeRuntime runtime(L"1.0");
  runtime.AddLibraryPath(kDecryptorFolder);
  runtime.AddLibraryPath(kLibraryFolder);
  ASSERT_EQ(Run(runtime, L"-k other-key \"" + Windows::FromUtf8(victims) + L"\""), PkgOperationSucceeded);
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(ReadBytes(telemetryFile), "{\"files\":0,\"failed\":3}");
  EXPECT_TRUE(Windows::PathExists(Windows::FromUtf8(victims + "/notes.md.kyrlocked")));
  EXPECT_EQ(Run(runtime, L""), PkgOperationFailed);
  EXPECT_EQ(exitCode, -1);
}

TEST_F(SampleDecryptorTest, CipherLibraryMustBeInARegisteredFolder) {
  NativeRuntime runtime(L"1.0");
  runtime.AddLibraryPath(kDecryptorFolder);
  EXPECT_EQ(Run(runtime, L"-k demo-key x"), PkgDependenciesMissing);
  runtime.AddLibraryPath(kLibraryFolder);
  std::int32_t result = 0;
  const std::string help =
      Testing::CaptureStdout([&] { result = runtime.Execute(kModule, L"help", 2, exitCode, nlohmann::json()); });
  EXPECT_EQ(result, PkgOperationSucceeded);
  EXPECT_EQ(help.rfind("KyrSample decryptor 1.0.0", 0), 0u) << help;
}

}  // namespace
}  // namespace Kyrowan
