#include "runtime/python_runtime.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <nlohmann/json.hpp>
#include "platform/file_system.h"
#include "platform/text.h"
#include "runtime/python_scripts.h"
#include "tests/python_runtime_test_support.h"
#include "tests/scoped_temp.h"

namespace Kyrowan {
namespace {

namespace fs = std::filesystem;

using Testing::FolderPythonRuntime;

nlohmann::json RunParameters(const std::string& dataFile, const std::wstring& packageFolder,
                             const std::wstring& arguments) {
  nlohmann::json parameters;
  parameters["CustomTelemFile"] = WideToJsonArray(Windows::FromUtf8(dataFile));
  parameters["DecrPkgPath"] = WideToJsonArray(packageFolder);
  parameters["DecrPkgArgs"] = WideToJsonArray(arguments);
  return parameters;
}

class PythonRuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp.Path().empty());
    root = temp.Path().string();
    // A space in the interpreter's folder: its path must survive the command line.
    files = (temp.Path() / "Python Runtime" / "").string();
    modules = root + "/Mods/";
    fs::create_directories(files);
    fs::create_directories(modules);
  }

  /// Uses the machine's Python as the runtime's interpreter.
  bool UseRealPython() {
    if (!fs::exists("/usr/bin/python3")) return false;
    fs::create_symlink("/usr/bin/python3", files + "python");
    return true;
  }
  void WriteModule(const std::string& name, const std::string& text) { std::ofstream(modules + name) << text; }
  std::string Read(const std::string& path) { return Testing::ReadText(path); }
  /// Whether a run left a script or its start marker behind.
  bool ScriptLeft() const {
    for (const auto& entry : fs::directory_iterator(files))
      if (entry.path().filename().string().rfind("KyrDecrypt_Script", 0) == 0) return true;
    return false;
  }

  Testing::TempFolder temp;
  std::string root, files, modules;
};

TEST_F(PythonRuntimeTest, RuntimeWithoutInterpreterFailsEverything) {
  PythonRuntime runtime(L"0.0.0");
  EXPECT_FALSE(runtime.IsReady());
  std::int64_t exitCode = 5;
  EXPECT_EQ(runtime.Execute(L"m.py", L"run", ExecuteModeHelp, exitCode, nullptr), PkgRunFailed);
  EXPECT_EQ(exitCode, 0);
  EXPECT_FALSE(runtime.AddLibraryPath(L"/x/"));
  EXPECT_FALSE(runtime.RemoveAllLibraryPaths());
  EXPECT_EQ(runtime.IsPipPackageInstalled(L"x", L"1.0"), PkgRunFailed);
  EXPECT_EQ(runtime.InstallPipPackage(L"x", L"1.0"), PkgRunFailed);
  EXPECT_EQ(runtime.UninstallPipPackage(L"x"), PkgRunFailed);
  std::wstring name, version;
  EXPECT_TRUE(runtime.GetName(name));
  EXPECT_EQ(name, L"python");
}

TEST_F(PythonRuntimeTest, BadRequestsFailBeforeAnythingRuns) {
  FolderPythonRuntime runtime(files);
  ASSERT_TRUE(runtime.IsReady());
  EXPECT_EQ(runtime.GetInterpreterPath(), Windows::FromUtf8(files + "python") + Windows::kExecutableSuffix);
  std::int64_t exitCode = 9;
  const auto good = RunParameters("/d.json", L"/p/", L"");
  EXPECT_EQ(runtime.Execute(L"", L"run", ExecuteModeRun, exitCode, good), PkgOperationFailed);
  EXPECT_EQ(runtime.Execute(L"m.py", L"", ExecuteModeRun, exitCode, good), PkgOperationFailed);
  EXPECT_EQ(runtime.Execute(L"m.py", L"run", 3, exitCode, good), PkgOperationFailed);
  EXPECT_EQ(runtime.Execute(L"m.py", L"run", ExecuteModeRun, exitCode, nullptr), PkgOperationFailed);
  EXPECT_EQ(runtime.Execute(L"m.py", L"run", ExecuteModeRun, exitCode, nlohmann::json::object()), PkgOperationFailed);
  auto missing = good;
  missing.erase("DecrPkgArgs");
  EXPECT_EQ(runtime.Execute(L"m.py", L"run", ExecuteModeRun, exitCode, missing), PkgOperationFailed);
  auto asString = good;
  asString["DecrPkgPath"] = "/p/";  // only the array form is a wide text
  EXPECT_EQ(runtime.Execute(L"m.py", L"run", ExecuteModeRun, exitCode, asString), PkgOperationFailed);
  EXPECT_EQ(exitCode, 0);
  // With no interpreter at the path, the run is attempted and fails as a run.
  EXPECT_EQ(runtime.Execute(L"m.py", L"run", ExecuteModeRun, exitCode, good), PkgRunFailed);
  EXPECT_EQ(exitCode, -1);
  EXPECT_FALSE(ScriptLeft());
}

// Real Python runs the generated scripts where the machine has one.
#ifndef _WIN32

TEST_F(PythonRuntimeTest, RunPassesArgumentsAndReportsTheModulesStatus) {
  if (!UseRealPython()) GTEST_SKIP() << "no /usr/bin/python3";
  WriteModule("probe.py",
              "import json, sys\n"
              "def go(argc, argv):\n"
              "    open(argv[1], 'w').write(json.dumps([argc] + argv + [p for p in sys.path if 'Mods' in p]))\n"
              "    sys.exit(3)\n");
  FolderPythonRuntime runtime(files);
  ASSERT_TRUE(runtime.AddLibraryPath(Windows::FromUtf8(modules)));
  std::int64_t exitCode = 0;
  const std::string data = root + "/telemetry.json";
  // A backslash is an ordinary character here: a key or file name keeps it.
  const auto parameters = RunParameters(data, L"/Pkg/", L"-in x\\y.doc \"two words\" say\"hi -key a\\b");
  EXPECT_EQ(runtime.Execute(L"probe.py", L"go", ExecuteModeRun, exitCode, parameters), PkgOperationSucceeded);
  EXPECT_EQ(exitCode, 3);
  EXPECT_EQ(nlohmann::json::parse(Read(data)),
            nlohmann::json::parse("[8, \"/Pkg/\", \"" + data +
                                  "\", \"-in\", \"x\\\\y.doc\", \"two words\", \"say\\\"hi\", \"-key\", \"a\\\\b\", \"" +
                                  modules + "\"]"));
  EXPECT_FALSE(ScriptLeft());
  // Whatever PYTHONDONTWRITEBYTECODE says: nothing is compiled into verified folders.
  EXPECT_FALSE(fs::exists(modules + "__pycache__"));
}

TEST_F(PythonRuntimeTest, FailingModulesAndHelp) {
  if (!UseRealPython()) GTEST_SKIP() << "no /usr/bin/python3";
  WriteModule("bad.py", "def go(argc, argv):\n    raise RuntimeError('broken key')\ndef about():\n    pass\n");
  FolderPythonRuntime runtime(files);
  ASSERT_TRUE(runtime.AddLibraryPath(Windows::FromUtf8(modules)));
  std::int64_t exitCode = 0;
  const auto parameters = RunParameters(root + "/t.json", L"/p/", L"");
  EXPECT_EQ(runtime.Execute(L"bad.py", L"go", ExecuteModeRun, exitCode, parameters), PkgRunFailed);
  EXPECT_EQ(exitCode, -1);
  EXPECT_EQ(runtime.Execute(L"bad", L"go", ExecuteModeRun, exitCode, parameters), PkgRunFailed);
  EXPECT_EQ(runtime.Execute(L"bad.py", L"about", ExecuteModeHelp, exitCode, nullptr), PkgOperationSucceeded);
  EXPECT_EQ(exitCode, 0);
  // Unregistered, the module cannot be imported any more.
  EXPECT_TRUE(runtime.RemoveLibraryPath(Windows::FromUtf8(modules)));
  EXPECT_EQ(runtime.Execute(L"bad.py", L"about", ExecuteModeHelp, exitCode, nullptr), PkgRunFailed);
  EXPECT_FALSE(ScriptLeft());
}

TEST_F(PythonRuntimeTest, PythonPathCannotPlantAModuleAheadOfTheRegisteredOne) {
  if (!UseRealPython()) GTEST_SKIP() << "no /usr/bin/python3";
  WriteModule("probe.py", "import sys\ndef go(argc, argv):\n    sys.exit(3)\n");
  const std::string planted = root + "/planted/";
  fs::create_directories(planted);
  std::ofstream(planted + "probe.py") << "import sys\ndef go(argc, argv):\n    sys.exit(7)\n";
  Testing::ScopedEnv pythonPath("PYTHONPATH", planted);
  FolderPythonRuntime runtime(files);
  ASSERT_TRUE(runtime.AddLibraryPath(Windows::FromUtf8(modules)));
  std::int64_t exitCode = 0;
  EXPECT_EQ(runtime.Execute(L"probe.py", L"go", ExecuteModeRun, exitCode, RunParameters(root + "/t.json", L"/p/", L"")),
            PkgOperationSucceeded);
  EXPECT_EQ(exitCode, 3);
}

TEST_F(PythonRuntimeTest, TwoRunsBesideOneInterpreterNeverTouchEachOthersScript) {
  if (!UseRealPython()) GTEST_SKIP() << "no /usr/bin/python3";
  const std::string gate = root + "/gate";
  ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
  // The first module waits at the gate while a second run comes and goes, then
  // looks whether the script it was started from is still there.
  WriteModule("first.py", "import os, sys\n"
                          "def go(argc, argv):\n"
                          "    open('" + gate + "').read()\n"
                          "    sys.exit(3 if os.path.exists(sys.argv[0]) else 4)\n");
  WriteModule("second.py", "def go(argc, argv):\n    pass\n");
  FolderPythonRuntime first(files), second(files);
  ASSERT_TRUE(first.AddLibraryPath(Windows::FromUtf8(modules)));
  ASSERT_TRUE(second.AddLibraryPath(Windows::FromUtf8(modules)));
  const auto parameters = RunParameters(root + "/t.json", L"/p/", L"");
  std::int64_t firstCode = 0, secondCode = -5;
  auto firstRun = std::async(std::launch::async, [&] {
    return first.Execute(L"first.py", L"go", ExecuteModeRun, firstCode, parameters);
  });
  // The gate opens for writing once the first module is waiting at it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int writer = -1;
  while ((writer = ::open(gate.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 && errno == ENXIO &&
         std::chrono::steady_clock::now() < deadline &&
         firstRun.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
  }
  ASSERT_GE(writer, 0) << "the first module never reached its gate";
  EXPECT_EQ(second.Execute(L"second.py", L"go", ExecuteModeRun, secondCode, parameters), PkgOperationSucceeded);
  EXPECT_EQ(secondCode, 0);
  ::close(writer);
  EXPECT_EQ(firstRun.get(), PkgOperationSucceeded);
  EXPECT_EQ(firstCode, 3);
  EXPECT_FALSE(ScriptLeft());
}

TEST_F(PythonRuntimeTest, FoldersAreKeyedWithoutCaseAndWrittenInKeyOrderWithTheirOwnCase) {
  if (!UseRealPython()) GTEST_SKIP() << "no /usr/bin/python3";
  WriteModule("paths.py",
              "import json, sys\n"
              "def go(argc, argv):\n"
              "    open(argv[1], 'w').write(json.dumps([p for p in sys.path if p.startswith('/kyr')]))\n");
  FolderPythonRuntime runtime(files);
  ASSERT_TRUE(runtime.AddLibraryPath(Windows::FromUtf8(modules)));
  EXPECT_TRUE(runtime.AddLibraryPath(L"/kyr/Lib/B/"));
  EXPECT_TRUE(runtime.AddLibraryPath(L"/kyr/lib/a/"));
  EXPECT_TRUE(runtime.AddLibraryPath(L"/KYR/LIB/B/"));  // the same key: kept once, as first given
  EXPECT_TRUE(runtime.AddLibraryPath(L"/kyr/gone/"));
  EXPECT_TRUE(runtime.RemoveLibraryPath(L"/KYR/Gone/"));
  EXPECT_FALSE(runtime.RemoveLibraryPath(L"/kyr/gone/"));
  std::int64_t exitCode = 0;
  const std::string data = root + "/t.json";
  EXPECT_EQ(runtime.Execute(L"paths.py", L"go", ExecuteModeRun, exitCode, RunParameters(data, L"/p/", L"")),
            PkgOperationSucceeded);
  EXPECT_EQ(Read(data), "[\"/kyr/lib/a/\", \"/kyr/Lib/B/\"]");
}

#endif  // _WIN32

/// An interpreter that logs its command line and answers with configured statuses.
class FakeInterpreterTest : public PythonRuntimeTest {
 protected:
  void SetUp() override {
    PythonRuntimeTest::SetUp();
    Testing::WriteFakeInterpreter(files);
    Answer(kPipCheckNotFound, 0);
  }
  void Answer(unsigned script, unsigned pip) { Testing::SetFakeAnswers(files, script, pip); }
  std::string Calls() { return Read(files + "calls.log"); }
  std::int64_t Run(PythonRuntime& runtime, std::int32_t expected) {
    std::int64_t exitCode = 0;
    EXPECT_EQ(runtime.Execute(L"m.py", L"go", ExecuteModeRun, exitCode, RunParameters("/t.json", L"/p/", L"")),
              expected);
    return exitCode;
  }
};

TEST_F(FakeInterpreterTest, ScriptIsWrittenBesideTheInterpreterWithPathsInPythonsForm) {
  FolderPythonRuntime runtime(files);
  Answer(0, 0);
  ASSERT_TRUE(runtime.AddLibraryPath(L"C:\\Data\\Lib\\"));
  std::int64_t exitCode = -5;
  const auto parameters = RunParameters("C:\\data\\t.json", L"C:\\pkg\\", L"-in C:\\in\\x.doc \"two words\" say\"hi");
  ASSERT_EQ(runtime.Execute(L"decrypt.py", L"go", ExecuteModeRun, exitCode, parameters), PkgOperationSucceeded);
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(Calls(), "script\n");
  const std::string script = Read(files + "script.txt");
#ifdef _WIN32
  EXPECT_NE(script.find("\t\tsys.path.append(\"C:/Data/Lib/\")\n"), std::string::npos) << script;
  EXPECT_NE(script.find("\t\targv = [\"C:/pkg/\", \"C:/data/t.json\", \"-in\", \"C:/in/x.doc\", \"two words\", "
                        "\"say\\\"hi\"]\n"),
            std::string::npos)
      << script;
#else
  // Not a separator here: a backslash is part of the name.
  EXPECT_NE(script.find("\t\targv = [\"C:\\\\pkg\\\\\", \"C:\\\\data\\\\t.json\", \"-in\", \"C:\\\\in\\\\x.doc\", "
                        "\"two words\", \"say\\\"hi\"]\n"),
            std::string::npos)
      << script;
#endif
  EXPECT_EQ(script.find('\r'), std::string::npos);  // written as bytes, never as text-mode lines
  EXPECT_FALSE(ScriptLeft());
}

TEST_F(FakeInterpreterTest, ExitStatusBecomesTheExitCodeAndAllBitsSetIsFailure) {
  FolderPythonRuntime runtime(files);
  const struct {
    unsigned status;
    std::int32_t result;
    std::int64_t exitCode;
  } cases[] = {{0, PkgOperationSucceeded, 0},
               {3, PkgOperationSucceeded, 3},
#ifdef _WIN32
               {255, PkgOperationSucceeded, 255},
#else
               {255, PkgRunFailed, -1},  // what exit(-1) leaves of the status here
#endif
               {0xFFFFFFFFu, PkgRunFailed, -1}};
  for (const auto& c : cases) {
    Answer(c.status, 0);
    EXPECT_EQ(Run(runtime, c.result), c.exitCode) << c.status;
    EXPECT_EQ(Calls(), "script\n");
    EXPECT_FALSE(ScriptLeft());
  }
  std::int64_t exitCode = -5;
  EXPECT_EQ(runtime.Execute(L"m.py", L"about", ExecuteModeHelp, exitCode, nullptr), PkgRunFailed);
  EXPECT_EQ(exitCode, -1);
}

TEST_F(FakeInterpreterTest, AScriptThatVanishedBeforeTheInterpreterReadItFailsTheRun) {
  // Python's own answer to a missing script is status 2, which a decryptor may give too.
  std::ofstream(files + "vanish");
  FolderPythonRuntime runtime(files);
  EXPECT_EQ(Run(runtime, PkgRunFailed), -1);
  EXPECT_EQ(Calls(), "script\n");
  EXPECT_FALSE(ScriptLeft());
}

TEST_F(FakeInterpreterTest, CheckMapsOnlyTheScriptsOwnAnswers) {
  FolderPythonRuntime runtime(files);
  // 0, 1 and 2 are what a Python that failed by itself exits with.
  for (auto [status, expected] : {std::pair{kPipCheckFound, PkgFound}, {kPipCheckNotFound, PkgNotFound},
                                  {kPipCheckError, PkgOperationFailed}, {0u, PkgOperationFailed},
                                  {1u, PkgOperationFailed}, {2u, PkgOperationFailed}, {255u, PkgOperationFailed}}) {
    Answer(status, 0);
    EXPECT_EQ(runtime.IsPipPackageInstalled(L"kyrsample-pad", L"2.0"), expected) << status;
    EXPECT_EQ(Calls(), "script\n");
    EXPECT_FALSE(ScriptLeft());
  }
  EXPECT_EQ(runtime.IsPipPackageInstalled(L"", L"2.0"), PkgOperationFailed);
}

TEST_F(FakeInterpreterTest, InstallChecksThenPinsWithoutUninstallingFirst) {
  FolderPythonRuntime runtime(files);
  Answer(kPipCheckFound, 0);
  EXPECT_EQ(runtime.InstallPipPackage(L"kyrsample-pad", L"2.0"), PkgFound);
  EXPECT_EQ(Calls(), "script\n");
  Answer(kPipCheckNotFound, 0);
  EXPECT_EQ(runtime.InstallPipPackage(L"kyrsample-pad", L"2.0"), PkgOperationSucceeded);
  EXPECT_EQ(Calls(), "script\n-I -B -m pip install kyrsample-pad==2.0\n");
  Answer(kPipCheckNotFound, 0);
  EXPECT_EQ(runtime.InstallPipPackage(L"kyrsample-pad", L"0.0.0"), PkgOperationSucceeded);
  EXPECT_EQ(Calls(), "script\n-I -B -m pip install kyrsample-pad\n");
  Answer(kPipCheckNotFound, 1);
  EXPECT_EQ(runtime.InstallPipPackage(L"kyrsample-pad", L"2.0"), PkgOperationFailed);
  Answer(kPipCheckError, 0);  // a check that failed installs nothing
  EXPECT_EQ(runtime.InstallPipPackage(L"kyrsample-pad", L"2.0"), PkgOperationFailed);
  EXPECT_EQ(Calls(), "script\n");
  EXPECT_FALSE(ScriptLeft());
}

TEST_F(FakeInterpreterTest, RequirementTextsCannotCarryOptionsOrUrls) {
  FolderPythonRuntime runtime(files);
  EXPECT_EQ(runtime.InstallPipPackage(L"--index-url=http://x/", L"1.0"), PkgOperationFailed);
  EXPECT_EQ(runtime.InstallPipPackage(L"pad @ http://x/pad.whl", L"0.0.0"), PkgOperationFailed);
  EXPECT_EQ(runtime.InstallPipPackage(L"pad", L"1.0; os_name=='posix'"), PkgOperationFailed);
  EXPECT_EQ(runtime.UninstallPipPackage(L"-r"), PkgOperationFailed);
  EXPECT_FALSE(fs::exists(files + "calls.log"));
}

TEST_F(FakeInterpreterTest, MissingInterpreterIsNotStarted) {
  fs::remove(files + "python" + Windows::ToUtf8(Windows::kExecutableSuffix));
  FolderPythonRuntime runtime(files);
  EXPECT_EQ(runtime.UninstallPipPackage(L"pad"), PkgRunFailed);
  EXPECT_EQ(runtime.IsPipPackageInstalled(L"pad", L"1"), PkgOperationFailed);
  EXPECT_FALSE(ScriptLeft());
}

}  // namespace
}  // namespace Kyrowan
