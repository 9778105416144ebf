#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

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

// Unbuffered and apart from stdout, so the status line never lands among the exact texts.
void WriteError(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, bytes.data(), bytes.size());
    if (written <= 0) return;  // a status line is not worth failing for
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

// Carriage return to the line's start, then erase to its end.
constexpr std::string_view kEraseLine = "\r\x1b[K";

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

bool ErrorStreamIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::size_t ErrorStreamColumns() {
  winsize size{};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col != 0 ? size.ws_col : 80;
}

void ErrorStatusLine(std::string_view text) { WriteError(std::string(kEraseLine).append(text)); }

void ErrorStatusClear() { WriteError(kEraseLine); }

void ErrorLine(std::wstring_view text) { WriteError(ToUtf8(text).append("\n")); }

}  // namespace Kyrowan::Windows
