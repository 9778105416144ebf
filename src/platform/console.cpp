#include "platform/console.h"

#include <cstdio>
#include <string>

#include "platform/text.h"

namespace Kyrowan::Windows {

// Everything is written as bytes on a narrow stdout: mixing wide and narrow
// orientation on one FILE silently drops output on some C libraries.
namespace {

void WriteBytes(std::string_view bytes) {
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

}  // namespace

void ConsoleWrite(std::wstring_view text) { WriteBytes(ToUtf8(text)); }

// A hostile package list must not reach the terminal's escape sequences.
void ConsoleWriteNarrow(std::string_view text) { WriteBytes(PrintableText(text)); }

void ConsoleEndLine() {
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void ConsoleLine(std::wstring_view text) {
  ConsoleWrite(text);
  ConsoleEndLine();
}

}  // namespace Kyrowan::Windows
