#include "platform/process.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/text.h"
#include "tests/capture_stdout.h"
#include "tests/scoped_temp.h"

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

std::wstring Child() { return FromUtf8(KYR_PROCESS_CHILD); }

std::uint32_t RunChild(const std::vector<std::wstring>& arguments) {
  std::uint32_t status = 12345;
  EXPECT_TRUE(RunProcess(Child(), arguments, status));
  return status;
}

TEST(ProcessTest, ExitStatusesAreReportedAndMinusOneIsTheFailureStatus) {
  const struct {
    const wchar_t* code;
    std::uint32_t status;
  } rows[] = {{L"0", 0u}, {L"3", 3u}, {L"254", 254u}, {L"-1", kProcessFailureStatus},
#ifdef _WIN32
              {L"255", 255u},
#else
              // 255 is what exit(-1) leaves on POSIX.
              {L"255", kProcessFailureStatus},
#endif
  };
  for (const auto& row : rows) EXPECT_EQ(RunChild({L"exit", row.code}), row.status) << ToUtf8(row.code);
}

TEST(ProcessTest, ArgumentsArriveUnsplitAndOutputFollowsTheToolsOwn) {
  const std::string out = Testing::CaptureStdout([] {
    std::printf("before\n");  // unflushed on purpose: starting the child must flush it first
    EXPECT_EQ(RunChild({L"args", L"a b", L"", L"\"q\"", L"tab\there", L"C:\\dir\\", L"back\\\\\"quote", L"\u00e9\u0141"}), 0u);
  });
  EXPECT_EQ(out, "before\na b||\"q\"|tab\there|C:\\dir\\|back\\\\\"quote|\xc3\xa9\xc5\x81|");
}

TEST(ProcessTest, ChildInheritsTheEnvironment) {
  Testing::ScopedEnv value("KYR_PROCESS_TEST_VALUE", "inherited");
  std::uint32_t status = 1;
  const std::string out = Testing::CaptureStdout([&] { status = RunChild({L"env", L"KYR_PROCESS_TEST_VALUE"}); });
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(out, "inherited");
}

#ifdef _WIN32

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

#else

TEST(ProcessTest, DeathByASignalIsTheFailureStatus) {
  for (const wchar_t* script : {L"kill -KILL $$", L"kill -SEGV $$"}) {
    std::uint32_t status = 0;
    EXPECT_TRUE(RunProcess(L"/bin/sh", {L"-c", script}, status));
    EXPECT_EQ(status, kProcessFailureStatus) << ToUtf8(script);
  }
}

#endif

}  // namespace
}  // namespace Kyrowan::Windows
