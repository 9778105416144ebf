#include "platform/console.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/capture_stdout.h"

namespace Kyrowan::Windows {
namespace {

// Windows writes wide text to a console itself; a redirected stream gets bytes.
TEST(ConsoleTest, RedirectedOutputIsUtf8InOrderWithBareLineFeeds) {
  const std::string out = Testing::CaptureStdout([] {
    ConsoleWrite(L"Entschl\u00fcsselt: ");
    ConsoleWriteNarrow("\xe5\x90\x8d\x1b[2J");
    ConsoleEndLine();
    ConsoleLine(L"\u0141\u00f3d\u017a");
  });
  EXPECT_EQ(out, "Entschl\xc3\xbcsselt: \xe5\x90\x8d?[2J\n\xc5\x81\xc3\xb3\x64\xc5\xba\n");
}

}  // namespace
}  // namespace Kyrowan::Windows
