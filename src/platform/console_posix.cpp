#include "platform/console.h"

#include <cstdio>
#include <string>

#include "platform/text.h"

namespace Kyrowan::Windows {

// Everything is written as bytes on a narrow stdout: mixing wide and narrow
// orientation on one FILE silently drops output on some C libraries.
void ConsoleWrite(std::wstring_view text) { ConsoleWriteNarrow(ToUtf8(text)); }

void ConsoleWriteNarrow(std::string_view text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stdout);
}

void ConsoleEndLine() {
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void ConsoleLine(std::wstring_view text) {
  ConsoleWrite(text);
  ConsoleEndLine();
}

}  // namespace Kyrowan::Windows
