#include "runtime/native_runtime.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/file_system.h"
#include "platform/text.h"
#include "tests/capture_stdout.h"
#include "tests/scoped_temp.h"

namespace Kyrowan {
namespace {

// A full path: Windows registers only those as library folders.
const std::wstring kTestRoot = std::filesystem::absolute(KYR_NATIVE_TEST_DIR).wstring();
const std::wstring kEntryFolder = kTestRoot + Windows::kPathSeparator + L"entry";
const std::wstring kDepFolder = kTestRoot + Windows::kPathSeparator + L"dep";
const std::wstring kNeedsDepFolder = kTestRoot + Windows::kPathSeparator + L"needsdep";

#ifdef _WIN32
const std::wstring kLibrarySuffix = L".dll";
#else
const std::wstring kLibrarySuffix = L".so";
#endif
const std::wstring kEntryModule = L"libkyrtest_entry" + kLibrarySuffix;
const std::wstring kNeedsDepModule = L"libkyrtest_needs_dep" + kLibrarySuffix;

class NativeRuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch.Path().empty());
    telemetryFile = scratch.Wide() + Windows::kPathSeparator + L"decr_x_1.0.json";
  }

  nlohmann::json Parameters(const std::wstring& arguments) const {
    return {{"CustomTelemFile", WideToJsonArray(telemetryFile)},
            {"DecrPkgPath", WideToJsonArray(L"/pkg/x/1.0/x/")},
            {"DecrPkgArgs", WideToJsonArray(arguments)}};
  }

  /// The arguments the entry module wrote down during its run.
  std::vector<std::u16string> ArgumentsSeen() const {
    std::ifstream in(std::filesystem::path(telemetryFile), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::u16string> seen(1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      char16_t unit;
      std::memcpy(&unit, bytes.data() + i, 2);
      if (unit == 0) {
        seen.emplace_back();
      } else {
        seen.back().push_back(unit);
      }
    }
    seen.pop_back();
    return seen;
  }

  NativeRuntime runtime{L"1.0"};
  Testing::TempFolder scratch;
  std::wstring telemetryFile;
  std::int64_t exitCode = 99;
};

TEST_F(NativeRuntimeTest, FolderRegistrationIsKeyedByLowerCaseButKeepsTheRealCase) {
  EXPECT_FALSE(runtime.AddLibraryPath(L""));
  EXPECT_TRUE(runtime.AddLibraryPath(L"/Data/Libs"));
  EXPECT_TRUE(runtime.AddLibraryPath(L"/data/LIBS"));
  EXPECT_EQ(runtime.RegisteredFolders(), std::vector<std::wstring>{L"/Data/Libs"});
  EXPECT_FALSE(runtime.RemoveLibraryPath(L"/never/added"));
  EXPECT_TRUE(runtime.RemoveLibraryPath(L"/DATA/libs"));
  EXPECT_FALSE(runtime.RemoveLibraryPath(L"/Data/Libs"));
  runtime.AddLibraryPath(L"/a");
  runtime.AddLibraryPath(L"/b");
  EXPECT_TRUE(runtime.RemoveAllLibraryPaths());
  EXPECT_TRUE(runtime.RegisteredFolders().empty());
}

TEST_F(NativeRuntimeTest, BadRequestsFailBeforeAnythingIsLoaded) {
  runtime.AddLibraryPath(kEntryFolder);
  EXPECT_EQ(runtime.Execute(kEntryModule, L"run", 3, exitCode, Parameters(L"")), PkgOperationFailed);
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(runtime.Execute(L"", L"run", 1, exitCode, Parameters(L"")), PkgOperationFailed);
  EXPECT_EQ(runtime.Execute(kEntryModule, L"", 2, exitCode, nlohmann::json()), PkgOperationFailed);
  EXPECT_FALSE(Windows::PathExists(telemetryFile));
}

TEST_F(NativeRuntimeTest, EmptyArgumentTextGivesTheEntryTwoArguments) {
  runtime.AddLibraryPath(kEntryFolder);
  ASSERT_EQ(runtime.Execute(kEntryModule, L"run", 1, exitCode, Parameters(L"")), PkgOperationSucceeded);
  EXPECT_EQ(exitCode, 0);
  const auto seen = ArgumentsSeen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], u"/pkg/x/1.0/x/");
  EXPECT_EQ(std::string(seen[1].begin(), seen[1].end()), Windows::ToUtf8(telemetryFile));
}

TEST_F(NativeRuntimeTest, QuotedSectionArrivesAsOneArgumentWithBackslashesIntact) {
  runtime.AddLibraryPath(kEntryFolder);
  ASSERT_EQ(runtime.Execute(kEntryModule, L"run", 1, exitCode,
                            Parameters(L"-p \"C:\\My Files\\x\" -v \U0001F600")),
            PkgOperationSucceeded);
  const auto seen = ArgumentsSeen();
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[2], u"-p");
  EXPECT_EQ(seen[3], u"C:\\My Files\\x");
  EXPECT_EQ(seen[4], u"-v");
  EXPECT_EQ(seen[5], u"\U0001F600");  // a surrogate pair in the UTF-16 vector
}

TEST_F(NativeRuntimeTest, EntryResultBecomesExitCodeAndMinusOneIsFailure) {
  runtime.AddLibraryPath(kEntryFolder);
  const struct {
    const wchar_t* arguments;
    std::int32_t result;
    std::int64_t exitCode;
  } cases[] = {{L"ret=0", PkgOperationSucceeded, 0}, {L"ret=5", PkgOperationSucceeded, 5},
               {L"ret=-1", PkgOperationFailed, -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(runtime.Execute(kEntryModule, L"run", 1, exitCode, Parameters(c.arguments)), c.result);
    EXPECT_EQ(exitCode, c.exitCode);
  }
}

TEST_F(NativeRuntimeTest, UnusableParametersAndMissingEntriesFollowTheResultTable) {
  runtime.AddLibraryPath(kEntryFolder);
  const std::wstring& module = kEntryModule;
  EXPECT_EQ(runtime.Execute(module, L"run", 1, exitCode, nlohmann::json::object()), PkgOperationFailed);
  EXPECT_EQ(exitCode, 0);
  nlohmann::json stringMember = Parameters(L"");
  stringMember["DecrPkgArgs"] = "not an array";
  EXPECT_EQ(runtime.Execute(module, L"run", 1, exitCode, stringMember), PkgOperationFailed);
  EXPECT_EQ(exitCode, 0);
  nlohmann::json emptyPath = Parameters(L"");
  emptyPath["DecrPkgPath"] = nlohmann::json::array();
  EXPECT_EQ(runtime.Execute(module, L"run", 1, exitCode, emptyPath), PkgOperationFailed);
  EXPECT_EQ(exitCode, -1);
  EXPECT_EQ(runtime.Execute(module, L"no_such_entry", 1, exitCode, Parameters(L"")), PkgRunFailed);
  EXPECT_EQ(exitCode, -1);
  EXPECT_EQ(runtime.Execute(module, L"no_such_help", 2, exitCode, nlohmann::json()), PkgRunFailed);
  EXPECT_EQ(exitCode, 0);
}

TEST_F(NativeRuntimeTest, HelpEntryIsCalledWithNothing) {
  runtime.AddLibraryPath(kEntryFolder);
  std::int32_t result = 0;
  const std::string printed = Testing::CaptureStdout(
      [&] { result = runtime.Execute(kEntryModule, L"help", 2, exitCode, nlohmann::json()); });
  EXPECT_EQ(result, PkgOperationSucceeded);
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(printed, "entry module help\n");
}

TEST_F(NativeRuntimeTest, ModuleOutsideTheRegisteredFoldersIsMissingInBothModes) {
  runtime.AddLibraryPath(kDepFolder);
  EXPECT_EQ(runtime.Execute(kEntryModule, L"help", 2, exitCode, nlohmann::json()), PkgDependenciesMissing);
  EXPECT_EQ(runtime.Execute(kEntryModule, L"run", 1, exitCode, Parameters(L"")), PkgDependenciesMissing);
  EXPECT_EQ(exitCode, 0);
  // A name with a folder part does not reach outside the registered folders either.
  EXPECT_EQ(runtime.Execute(kEntryFolder + Windows::kPathSeparator + kEntryModule, L"help", 2, exitCode, nlohmann::json()),
            PkgDependenciesMissing);
  EXPECT_EQ(runtime.Execute(L"../entry/" + kEntryModule, L"help", 2, exitCode, nlohmann::json()),
            PkgDependenciesMissing);
}

TEST_F(NativeRuntimeTest, NeededLibraryComesOnlyFromARegisteredFolder) {
  runtime.AddLibraryPath(kNeedsDepFolder);
  EXPECT_EQ(runtime.Execute(kNeedsDepModule, L"run", 1, exitCode, Parameters(L"")), PkgDependenciesMissing);
  runtime.AddLibraryPath(kDepFolder);
  EXPECT_EQ(runtime.Execute(kNeedsDepModule, L"run", 1, exitCode, Parameters(L"")), PkgOperationSucceeded);
  EXPECT_EQ(exitCode, 42);
  // Entries are the module's own: the needed library's exports do not count.
  EXPECT_EQ(runtime.Execute(kNeedsDepModule, L"dep_only_help", 2, exitCode, nlohmann::json()),
            PkgRunFailed);
  runtime.RemoveLibraryPath(kDepFolder);
  EXPECT_EQ(runtime.Execute(kNeedsDepModule, L"run", 1, exitCode, Parameters(L"")), PkgDependenciesMissing);
}

}  // namespace
}  // namespace Kyrowan
