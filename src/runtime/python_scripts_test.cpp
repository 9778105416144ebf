#include "runtime/python_scripts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tests/scoped_temp.h"

namespace Kyrowan {
namespace {

TEST(PythonScriptsTest, LiteralsEscapeEverythingThatCouldEndThemOrBreakALine) {
  EXPECT_EQ(PythonStringLiteral(L""), L"\"\"");
  EXPECT_EQ(PythonStringLiteral(L"c:/data/x y/"), L"\"c:/data/x y/\"");
  EXPECT_EQ(PythonStringLiteral(L"a\"b\\c'd"), L"\"a\\\"b\\\\c'd\"");
  EXPECT_EQ(PythonStringLiteral(L"1\n2\r3\t4\x01\x7f"), L"\"1\\n2\\r3\\t4\\x01\\x7f\"");
  EXPECT_EQ(PythonStringLiteral(L"\u00e9\u20ac"), L"\"\\xe9\\u20ac\"");
  // A UTF-16 pair is one character; on a 32-bit wchar_t the code point comes as it is.
  EXPECT_EQ(PythonStringLiteral(std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}), L"\"\\U0001f600\"");
  EXPECT_EQ(PythonStringLiteral(std::wstring{wchar_t(0xD83D)}), L"\"\\ud83d\"");
}

TEST(PythonScriptsTest, ModuleNameIsTheTextBeforeTheFirstPy) {
  EXPECT_EQ(PythonModuleName(L"tool.py"), L"tool");
  EXPECT_EQ(PythonModuleName(L"tool.pyc"), L"tool");
  EXPECT_EQ(PythonModuleName(L"a.py.py"), L"a");
  EXPECT_EQ(PythonModuleName(L"tool.PY"), L"");
  EXPECT_EQ(PythonModuleName(L"tool"), L"");
}

TEST(PythonScriptsTest, OnlyThePlatformsSeparatorBecomesASlash) {
  const std::wstring typed = L"C:\\in\\x.doc pass\\word /a/b";
  const std::wstring expected = Windows::kPathSeparator == L'\\' ? L"C:/in/x.doc pass/word /a/b" : typed;
  EXPECT_EQ(WithPythonSeparators(typed), expected);
}

TEST(PythonScriptsTest, RunScriptLayoutLineForLine) {
  PythonRunScriptInput_s input;
  input.folders = {L"c:/data/lib/a/", L"/opt/Lib B/"};
  input.moduleName = L"tool";
  input.entry = L"run";
  input.dataFilePath = L"C:/d/t.json";
  input.packageFolder = L"C:/pkg/";
  input.arguments = {L"-e", L"x \"y\""};
  EXPECT_EQ(BuildPythonRunScript(input),
            L"import sys\n"
            L"\n"
            L"if __name__ == \"__main__\":\n"
            L"\ttry:\n"
            L"\t\tsys.path.append(\"c:/data/lib/a/\")\n"
            L"\t\tsys.path.append(\"/opt/Lib B/\")\n"
            L"\t\trun = getattr(__import__(\"tool\"), \"run\")\n"
            L"\t\targc = 4\n"
            L"\t\targv = [\"C:/pkg/\", \"C:/d/t.json\", \"-e\", \"x \\\"y\\\"\"]\n"
            L"\t\trun(argc, argv)\n"
            L"\texcept Exception as e:\n"
            L"\t\tprint(e)\n"
            L"\t\tsys.exit(-1)\n");
}

TEST(PythonScriptsTest, RunScriptWithoutFoldersOrArgumentsAndItsRequirements) {
  PythonRunScriptInput_s input{{}, L"m", L"go", L"/d/t", L"/p/", {}};
  const auto script = BuildPythonRunScript(input);
  EXPECT_NE(script.find(L"\"__main__\":\n\ttry:\n\t\trun = getattr(__import__(\"m\"), \"go\")\n\t\targc = 2\n"
                        L"\t\targv = [\"/p/\", \"/d/t\"]\n"),
            std::wstring::npos)
      << Windows::ToUtf8(script);
  for (auto broken : {PythonRunScriptInput_s{{}, L"m", L"", L"/d", L"/p", {}},
                      PythonRunScriptInput_s{{}, L"m", L"go", L"", L"/p", {}},
                      PythonRunScriptInput_s{{}, L"m", L"go", L"/d", L"", {}}})
    EXPECT_EQ(BuildPythonRunScript(broken), L"");
}

TEST(PythonScriptsTest, HelpScriptCallsTheEntryWithoutArguments) {
  EXPECT_EQ(BuildPythonHelpScript({L"/l/"}, L"tool", L"about"),
            L"import sys\n\nif __name__ == \"__main__\":\n\ttry:\n\t\tsys.path.append(\"/l/\")\n"
            L"\t\trun = getattr(__import__(\"tool\"), \"about\")\n\t\trun()\n"
            L"\texcept Exception as e:\n\t\tprint(e)\n\t\tsys.exit(-1)\n");
  EXPECT_EQ(BuildPythonHelpScript({}, L"tool", L""), L"");
}

TEST(PythonScriptsTest, PipCheckScriptCarriesNameAndVersionAsLiterals) {
  const auto pinned = BuildPipCheckScript(L"kyr\"lib", L"2.1");
  EXPECT_NE(pinned.find(L"\npackage_name = \"kyr\\\"lib\"\nreq_ver = \"2.1\"\n"), std::wstring::npos);
  EXPECT_NE(BuildPipCheckScript(L"x", L"0.0.0").find(L"\nreq_ver = None\n"), std::wstring::npos);
  EXPECT_NE(BuildPipCheckScript(L"x", L"").find(L"\nreq_ver = None\n"), std::wstring::npos);
  EXPECT_EQ(BuildPipCheckScript(L"", L"1.0"), L"");
}

// Real Python runs the scripts where the machine has one.
#ifndef _WIN32

/// Runs generated scripts with the machine's Python in a temporary folder.
class PythonScriptsRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Windows::PathExists(kPython)) GTEST_SKIP() << "no " << Windows::ToUtf8(kPython);
    ASSERT_FALSE(temp.Path().empty());
    folder = temp.Path().string();
  }
  /// Writes and runs `script`; returns the exit status.
  std::uint32_t Run(const std::wstring& script) {
    const std::wstring path = Windows::FromUtf8(folder + "/KyrDecrypt_Script.py");
    EXPECT_TRUE(Windows::WriteNewFile(path, Windows::ToNarrow(script)));
    std::uint32_t status = 0;
    EXPECT_TRUE(Windows::RunProcess(kPython, {path}, status));
    return status;
  }
  /// An installed distribution as pip leaves one: its metadata folder.
  void InstallDistribution(const std::string& name, const std::string& version) {
    const std::string info = folder + "/" + name + "-" + version + ".dist-info";
    std::filesystem::create_directories(info);
    std::ofstream(info + "/METADATA") << "Metadata-Version: 2.1\nName: " << name << "\nVersion: " << version << "\n";
  }
  std::string Read(const std::string& name) {
    std::ifstream in(folder + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  const std::wstring kPython = L"/usr/bin/python3";
  Testing::TempFolder temp;
  std::string folder;
};

TEST_F(PythonScriptsRunTest, ArgumentsArriveIntactAndNothingIsInjected) {
  std::ofstream(folder + "/Probe Mod.py")
      << "import json, sys\n"
         "def go(argc, argv):\n"
         "    open(argv[1], 'w', encoding='utf-8').write(json.dumps([argc] + argv, ensure_ascii=False))\n"
         "    sys.exit(3)\n";
  PythonRunScriptInput_s input;
  input.folders = {Windows::FromUtf8(folder)};
  input.moduleName = L"Probe Mod";
  input.entry = L"go";
  input.dataFilePath = Windows::FromUtf8(folder + "/out.json");
  input.packageFolder = L"/pkg/";
  input.arguments = {L"a\"b", L"\"); import os; os._exit(9) #", L"'); os._exit(8) #", L"\u00e9\n\\"};
  EXPECT_EQ(Run(BuildPythonRunScript(input)), 3u);
  EXPECT_EQ(Read("out.json"), "[6, \"/pkg/\", \"" + folder +
                                  "/out.json\", \"a\\\"b\", \"\\\"); import os; os._exit(9) #\", "
                                  "\"'); os._exit(8) #\", \"\u00e9\\n\\\\\"]");
}

TEST_F(PythonScriptsRunTest, FailuresOfTheModuleEndWithTheFailureStatus) {
  std::ofstream(folder + "/bad.py") << "def go(argc, argv):\n    raise ValueError('boom')\ndef about():\n    print('help!')\n";
  PythonRunScriptInput_s input{{Windows::FromUtf8(folder)}, L"bad", L"go", L"/d", L"/p/", {}};
  EXPECT_EQ(Run(BuildPythonRunScript(input)), Windows::kProcessFailureStatus);
  input.moduleName = L"";  // a module text without ".py" fails inside the try clause
  EXPECT_EQ(Run(BuildPythonRunScript(input)), Windows::kProcessFailureStatus);
  EXPECT_EQ(Run(BuildPythonHelpScript({Windows::FromUtf8(folder)}, L"bad", L"about")), 0u);
  EXPECT_EQ(Run(BuildPythonHelpScript({Windows::FromUtf8(folder)}, L"bad", L"missing")), Windows::kProcessFailureStatus);
}

TEST_F(PythonScriptsRunTest, PipCheckComparesVersionsAndNeverReportsAnErrorAsFound) {
  // The script's folder is on the interpreter's search path, so distributions
  // placed there count as installed.
  InstallDistribution("Kyr.Fake_Dist", "2.3");
  InstallDistribution("kyr-pre", "2.1rc1");
  EXPECT_EQ(Run(BuildPipCheckScript(L"kyr-fake-dist", L"0.0.0")), kPipCheckFound);
  EXPECT_EQ(Run(BuildPipCheckScript(L"KYR_FAKE.DIST", L"2.1")), kPipCheckFound);  // names as pip compares them
  EXPECT_EQ(Run(BuildPipCheckScript(L"kyr-fake-dist", L"2.3.0")), kPipCheckFound);
  EXPECT_EQ(Run(BuildPipCheckScript(L"kyr-fake-dist", L"2.10")), kPipCheckNotFound);  // numbers, not text
  EXPECT_EQ(Run(BuildPipCheckScript(L"kyr-fake", L"")), kPipCheckNotFound);
  EXPECT_EQ(Run(BuildPipCheckScript(L"kyr-fake-dist", L"not-a-version")), kPipCheckError);
  // Pre-releases follow pip's rules, which only an interpreter with pip knows.
  if (Run(L"import pip._vendor.packaging.version\n") != 0) GTEST_SKIP() << "the machine's Python has no pip";
  EXPECT_EQ(Run(BuildPipCheckScript(L"kyr-pre", L"2.1")), kPipCheckNotFound);
  EXPECT_EQ(Run(BuildPipCheckScript(L"kyr-pre", L"2.1rc1")), kPipCheckFound);
}

#endif  // _WIN32

}  // namespace
}  // namespace Kyrowan
