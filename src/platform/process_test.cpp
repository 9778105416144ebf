#include "platform/process.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/text.h"
#include "tests/capture_stdout.h"

namespace Kyrowan::Windows {
namespace {

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

TEST(ProcessTest, MissingProgramIsNotStarted) {
  std::uint32_t status = 7;
  EXPECT_FALSE(RunProcess(L"/nonexistent/kyr-no-such-program", {}, status));
  EXPECT_EQ(status, 0u);
  EXPECT_FALSE(RunProcess(L"", {}, status));
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

}  // namespace
}  // namespace Kyrowan::Windows
