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

// The standard error handle when it is a console, else null: a status line is drawn nowhere else.
HANDLE ErrorConsoleOrNull() {
  HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (error == nullptr || error == INVALID_HANDLE_VALUE || !::GetConsoleMode(error, &mode)) return nullptr;
  return error;
}

// Back to the line's start, the text, then blanks over what a longer earlier line left.
void RedrawStatus(std::wstring_view text) {
  HANDLE console = ErrorConsoleOrNull();
  if (console == nullptr) return;
  static std::size_t drawnLength = 0;
  std::wstring line = L"\r";
  line.append(text);
  if (text.size() < drawnLength) line.append(drawnLength - text.size(), L' ');
  line.append(L"\r").append(text);
  drawnLength = text.size();
  DWORD written = 0;
  // A status line is not worth failing for.
  ::WriteConsoleW(console, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
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

// A hostile package list must not reach the console's escape sequences.
void ConsoleWriteNarrow(std::string_view text) {
  const std::string printable = PrintableText(text);
  if (HANDLE console = ConsoleOrNull())
    WriteToConsole(console, FromUtf8(printable));
  else
    WriteBytes(printable);
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

bool ErrorStreamIsTerminal() { return ErrorConsoleOrNull() != nullptr; }

std::size_t ErrorStreamColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  HANDLE console = ErrorConsoleOrNull();
  if (console == nullptr || !::GetConsoleScreenBufferInfo(console, &info)) return 80;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? static_cast<std::size_t>(columns) : 80;
}

void ErrorStatusLine(std::string_view text) { RedrawStatus(FromUtf8(text)); }

void ErrorStatusClear() { RedrawStatus(L""); }

void ErrorLine(std::wstring_view text) {
  DWORD written = 0;
  if (HANDLE console = ErrorConsoleOrNull()) {
    const std::wstring line = std::wstring(text) + L"\r\n";
    ::WriteConsoleW(console, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
  // Redirected: UTF-8 bytes with the POSIX line end, as standard output has.
  const std::string bytes = ToUtf8(text) + "\n";
  HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  if (error != nullptr && error != INVALID_HANDLE_VALUE)
    ::WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace Kyrowan::Windows
