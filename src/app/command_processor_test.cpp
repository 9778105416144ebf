#include "app/command_processor.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/package_manager.h"
#include "tests/capture_stdout.h"
#include "tests/scoped_temp.h"
#include "tests/temp_data_root.h"

namespace Kyrowan {
namespace {

using Arguments = std::vector<std::wstring>;
using Options = std::map<std::wstring, std::wstring>;

struct Parsed {
  int result;
  std::wstring command;
  Arguments arguments;
};

Parsed Parse(std::vector<const wchar_t*> argv) {
  Parsed parsed{0, L"stale", {L"stale"}};
  parsed.result = CommandProcessor::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), parsed.command,
                                                     parsed.arguments);
  return parsed;
}

TEST(ParseCommandLineTest, LowersOnlyTheCommandWordAndDropsEmptyArguments) {
  const Parsed parsed = Parse({L"kyrdecrypt", L"-GET", L"", L"Stampado", L"-VER", L"", L" 1.0 "});
  EXPECT_EQ(parsed.result, 1);
  EXPECT_EQ(parsed.command, L"-get");
  EXPECT_EQ(parsed.arguments, (Arguments{L"Stampado", L"-VER", L" 1.0 "}));
}

TEST(ParseCommandLineTest, EmptyFirstArgumentMeansNoCommandEvenWithMoreArguments) {
  const Parsed parsed = Parse({L"kyrdecrypt", L"", L"-help"});
  EXPECT_EQ(parsed.result, 0);
  EXPECT_EQ(parsed.command, L"");
  EXPECT_EQ(parsed.arguments, (Arguments{L"-help"}));
}

TEST(ParseCommandLineTest, NoArgumentsLeavesTheOutputsAlone) {
  const Parsed parsed = Parse({L"kyrdecrypt"});
  EXPECT_EQ(parsed.result, 0);
  EXPECT_EQ(parsed.command, L"stale");
  std::wstring command;
  Arguments arguments;
  EXPECT_EQ(CommandProcessor::ParseCommandLine(3, nullptr, command, arguments), 0);
}

TEST(ParseCommandLineTest, LowersAsciiLettersOnly) {
  // U+00C9 is not lowered whatever the locale; the word then matches no command.
  EXPECT_EQ(Parse({L"kyrdecrypt", L"-LIST\u00C9"}).command, L"-list\u00C9");
}

Options ParseOpts(const Arguments& options, const Arguments& allowed, int expected) {
  Options found{{L"stale", L"stale"}};
  EXPECT_EQ(CommandProcessor::ParseOptions(options, allowed, found), expected);
  return found;
}

TEST(ParseOptionsTest, UnknownNameSkipsTheElementAfterIt) {
  // -x takes -ver along; 1.0.0 is then read as a name and skipped.
  EXPECT_EQ(ParseOpts({L"-x", L"-ver", L"1.0.0"}, {L"-ver"}, 0), Options{});
  EXPECT_EQ(ParseOpts({L"1.0.0", L"-ver", L"2.0"}, {L"-ver"}, 0), Options{});
  EXPECT_EQ(ParseOpts({L"-x", L"1", L"-ver", L"2.0"}, {L"-ver"}, 1), (Options{{L"-ver", L"2.0"}}));
}

TEST(ParseOptionsTest, LowersNamesAndValues) {
  EXPECT_EQ(ParseOpts({L"-VER", L"2.0"}, {L"-ver"}, 1), (Options{{L"-ver", L"2.0"}}));
  EXPECT_EQ(ParseOpts({L"-ARGS", L"-E X"}, {L"-ver", L"-args"}, 1), (Options{{L"-args", L"-e x"}}));
}

TEST(ParseOptionsTest, ValuesOfKeepCaseNamesStayAsTyped) {
  Options found;
  EXPECT_EQ(CommandProcessor::ParseOptions({L"-VER", L"1.A", L"-ARGS", L"-K SeCrEt /Home/X"}, {L"-ver", L"-args"},
                                           found, {L"-args"}),
            1);
  EXPECT_EQ(found, (Options{{L"-ver", L"1.a"}, {L"-args", L"-K SeCrEt /Home/X"}}));
}

TEST(ParseOptionsTest, LastNameWithoutValueGetsAnEmptyValue) {
  EXPECT_EQ(ParseOpts({L"-ver"}, {L"-ver"}, 1), (Options{{L"-ver", L""}}));
  EXPECT_EQ(ParseOpts({L"-ver", L"1.0", L"-ver"}, {L"-ver"}, 1), (Options{{L"-ver", L""}}));
  EXPECT_EQ(ParseOpts({L"-ver", L"1.0.0", L"-args"}, {L"-ver", L"-args"}, 1),
            (Options{{L"-ver", L"1.0.0"}, {L"-args", L""}}));
}

TEST(ParseOptionsTest, RepeatedNameKeepsTheLastValue) {
  EXPECT_EQ(ParseOpts({L"-ver", L"1.0.0", L"-ver", L"2.0.0"}, {L"-ver"}, 1), (Options{{L"-ver", L"2.0.0"}}));
}

TEST(ParseOptionsTest, AllowedListNeedNotBeSorted) {
  EXPECT_EQ(ParseOpts({L"-ver", L"1", L"-args", L"a"}, {L"-zz", L"-ver", L"-args"}, 1),
            (Options{{L"-ver", L"1"}, {L"-args", L"a"}}));
  EXPECT_EQ(ParseOpts({}, {L"-ver"}, 0), Options{});
}

// Dispatch on a processor with its table filled; the manager it creates lives
// in a temporary data folder.
class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { processor.RegisterCommands(); }
  void TearDown() override { PackageManager::DestroyInstance(); }

  std::string Run(std::vector<const wchar_t*> argv) {
    return Testing::CaptureStdout(
        [&] { processor.Process(static_cast<int>(argv.size()), argv.data()); });
  }

  Testing::TempDataRoot data;
  CommandProcessor processor;
  const std::string banner = "\nKyrDecrypt - get, verify and run ransomware decryption tools\n";
};

TEST_F(DispatchTest, PrintsTheResultTextOfEachKindOfFailure) {
  EXPECT_EQ(Run({L"k", L"help"}),
            banner + "Command not supported. Try KyrDecrypt \"-help\" for supported commands\n");
  EXPECT_EQ(Run({L"k", L"-GET"}), banner + "Invalid arguments. Try KyrDecrypt \"-help\" for details\n");
  EXPECT_EQ(Run({L"k", L"-run", L"x", L"-ver", L"1.0.0", L"-args"}),
            banner + "Invalid arguments. Try KyrDecrypt \"-help\" for details\n");
  EXPECT_EQ(Run({L"k", L"-list", L"now"}), banner + "Invalid arguments. Try KyrDecrypt \"-help\" for details\n");
}

TEST_F(DispatchTest, PackageCommandsWithoutServerOrDownloadsNeverSucceed) {
  // The test build's server is 127.0.0.1:1 and the data folder is new, so
  // every one of these must end in the dispatcher's failure line.
  const std::string failed = "Requested operation failed.\n";
  for (auto* word : {L"-list", L"-get", L"-run", L"-about"}) {
    const std::vector<const wchar_t*> argv =
        std::wstring(word) == L"-list" ? std::vector<const wchar_t*>{L"k", word}
                                       : std::vector<const wchar_t*>{L"k", word, L"stampado"};
    const std::string out = Run(argv);
    EXPECT_EQ(out.rfind(banner, 0), 0u) << out;
    ASSERT_GE(out.size(), failed.size());
    EXPECT_EQ(out.substr(out.size() - failed.size()), failed) << out;
  }
}

TEST_F(DispatchTest, ListWithoutAServerShowsWhatIsHereAndFails) {
  // The unit tests' build configuration names a port nothing listens on.
  EXPECT_EQ(Run({L"k", L"-list"}),
            banner + "\nFailed to get latest package list from server. Please check your network connection and try "
                     "again.\n\nVersion marked with (**) are already present on this machine\n\n"
                     "Requested operation failed.\n");
}

TEST_F(DispatchTest, HelpIgnoresItsArguments) {
  const std::string help = Run({L"k", L"-Help", L"x", L"y"});
  EXPECT_EQ(help.rfind(banner + "\nUsage: KyrDecrypt <command> [arguments...]\n", 0), 0u);
  EXPECT_EQ(help, Run({L"k"}));
}

}  // namespace
}  // namespace Kyrowan
