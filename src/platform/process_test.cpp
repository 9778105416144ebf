#include "platform/process.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/text.h"
#include "tests/capture_stdout.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace Kyrowan::Windows {
namespace {

TEST(ProcessTest, MissingProgramIsNotStarted) {
  std::uint32_t status = 7;
  EXPECT_FALSE(RunProcess(L"/nonexistent/kyr-no-such-program", {}, status));
  EXPECT_EQ(status, 0u);
  EXPECT_FALSE(RunProcess(L"", {}, status));
}

#ifdef _WIN32

std::wstring SystemProgram(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  ::GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder) + L"\\" + name;
}

std::uint32_t RunCmd(const std::wstring& command) {
  std::uint32_t status = 12345;
  EXPECT_TRUE(RunProcess(SystemProgram(L"cmd.exe"), {L"/c", command}, status));
  return status;
}

TEST(ProcessTest, ExitCodesAreReportedAndMinusOneIsTheFailureStatus) {
  EXPECT_EQ(RunCmd(L"exit 0"), 0u);
  EXPECT_EQ(RunCmd(L"exit 3"), 3u);
  EXPECT_EQ(RunCmd(L"exit 255"), 255u);
  EXPECT_EQ(RunCmd(L"exit -1"), kProcessFailureStatus);
}

TEST(ProcessTest, CommandLineSplitsBackIntoTheArguments) {
  const std::vector<std::wstring> arguments = {
      L"plain", L"a b", L"", L"\"q\"", L"tab\there", L"C:\\dir\\", L"C:\\with space\\",
      L"back\\\\\"quote", L"\u00e9\u0141"};
  const std::wstring line = QuoteCommandLine(L"C:\\Program Files\\p.exe", arguments);
  int count = 0;
  wchar_t** parsed = ::CommandLineToArgvW(line.c_str(), &count);
  ASSERT_NE(parsed, nullptr);
  std::vector<std::wstring> back(parsed, parsed + count);
  ::LocalFree(parsed);
  ASSERT_EQ(back.size(), arguments.size() + 1) << line;
  EXPECT_EQ(back[0], L"C:\\Program Files\\p.exe");
  for (std::size_t i = 0; i < arguments.size(); ++i) EXPECT_EQ(back[i + 1], arguments[i]) << line;
}

TEST(ProcessTest, OutputFollowsTheToolsOwn) {
  const std::string out = Testing::CaptureStdout([] {
    std::printf("before\n");  // unflushed on purpose: starting the child must flush it first
    EXPECT_EQ(RunCmd(L"echo child"), 0u);
  });
  EXPECT_EQ(out, "before\nchild\r\n");
}

#else

std::uint32_t RunShell(const std::wstring& script) {
  std::uint32_t status = 12345;
  EXPECT_TRUE(RunProcess(L"/bin/sh", {L"-c", script}, status));
  return status;
}

TEST(ProcessTest, ExitStatusesAreReportedAndAbnormalEndsAreFailure) {
  EXPECT_EQ(RunShell(L"exit 0"), 0u);
  EXPECT_EQ(RunShell(L"exit 3"), 3u);
  EXPECT_EQ(RunShell(L"exit 254"), 254u);
  // exit(-1) and death by a signal both become the failure status, all 32 bits set.
  EXPECT_EQ(RunShell(L"exit 255"), kProcessFailureStatus);
  EXPECT_EQ(RunShell(L"kill -KILL $$"), kProcessFailureStatus);
  EXPECT_EQ(RunShell(L"kill -SEGV $$"), kProcessFailureStatus);
}

TEST(ProcessTest, ArgumentsArriveUnsplitAndOutputFollowsTheToolsOwn) {
  const std::string out = Testing::CaptureStdout([] {
    std::printf("before\n");  // unflushed on purpose: spawning must flush it first
    std::uint32_t status = 1;
    EXPECT_TRUE(RunProcess(L"/bin/sh", {L"-c", L"printf '%s|' \"$@\"", L"sh", L"a b", L"\"q\"", L"\u00e9"}, status));
    EXPECT_EQ(status, 0u);
  });
  EXPECT_EQ(out, "before\na b|\"q\"|\xc3\xa9|");
}

TEST(ProcessTest, ChildInheritsTheEnvironment) {
  ::setenv("KYR_PROCESS_TEST_VALUE", "inherited", 1);
  EXPECT_EQ(RunShell(L"test \"$KYR_PROCESS_TEST_VALUE\" = inherited"), 0u);
  ::unsetenv("KYR_PROCESS_TEST_VALUE");
}

#endif

}  // namespace
}  // namespace Kyrowan::Windows
