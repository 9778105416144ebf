#include "platform/console.h"

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/text.h"

namespace Kyrowan::Windows {

namespace {

// A console shows wide text as it is; a redirected stdout gets UTF-8 bytes, with
// line ends as the POSIX client writes them (no "\r" added by text mode).
HANDLE ConsoleOrNull() {
  static const bool binary = (::_setmode(::_fileno(stdout), _O_BINARY), true);
  (void)binary;
  // Looked up on every write: the standard output may be replaced while the tool runs.
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == nullptr || out == INVALID_HANDLE_VALUE || !::GetConsoleMode(out, &mode)) return nullptr;
  return out;
}

void WriteToConsole(HANDLE console, std::wstring_view text) {
  // Whatever went through the C stream before must appear first.
  std::fflush(stdout);
  while (!text.empty()) {
    DWORD written = 0;
    const DWORD count = static_cast<DWORD>(text.size() > 16384 ? 16384 : text.size());
    if (!::WriteConsoleW(console, text.data(), count, &written, nullptr) || written == 0) return;
    text.remove_prefix(written);
  }
}

void WriteBytes(std::string_view bytes) {
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

}  // namespace

void ConsoleWrite(std::wstring_view text) {
  if (HANDLE console = ConsoleOrNull())
    WriteToConsole(console, text);
  else
    WriteBytes(ToUtf8(text));
}

void ConsoleWriteNarrow(std::string_view text) {
  if (HANDLE console = ConsoleOrNull())
    WriteToConsole(console, FromUtf8(text));
  else
    WriteBytes(text);
}

void ConsoleEndLine() {
  if (HANDLE console = ConsoleOrNull()) {
    WriteToConsole(console, L"\r\n");
    return;
  }
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void ConsoleLine(std::wstring_view text) {
  ConsoleWrite(text);
  ConsoleEndLine();
}

}  // namespace Kyrowan::Windows
