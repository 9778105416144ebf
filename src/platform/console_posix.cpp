#include "platform/console.h"

#include <unistd.h>

#include <string>

namespace Kyrowan::Windows {

namespace {

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

bool ErrorStreamIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void ErrorStatusLine(std::string_view text) { WriteError(std::string(kEraseLine).append(text)); }

void ErrorStatusClear() { WriteError(kEraseLine); }

}  // namespace Kyrowan::Windows
