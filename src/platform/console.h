#pragma once

#include <cstddef>

#include <string_view>

namespace Kyrowan::Windows {

/// All console output goes through here: fixed wide texts and narrow (UTF-8)
/// names reach one stdout in order, and every line end flushes.
void ConsoleWrite(std::wstring_view text);
/// Narrow text comes from outside (names, versions): it is written as PrintableText.
void ConsoleWriteNarrow(std::string_view text);
/// A line end that flushes.
void ConsoleEndLine();
/// `text` followed by a flushing line end.
void ConsoleLine(std::wstring_view text);

/// True when standard error is a terminal: the only place a status line may be drawn.
bool ErrorStreamIsTerminal();
/// How many columns the terminal standard error shows has; 80 when it cannot tell.
std::size_t ErrorStreamColumns();
/// Draws `text` over the status line on standard error (one line, redrawn in place).
void ErrorStatusLine(std::string_view text);
/// `text` and a line end on standard error, written at once: the cause of a failure.
void ErrorLine(std::wstring_view text);
/// Blanks the status line on standard error and returns the cursor to its start.
void ErrorStatusClear();

}  // namespace Kyrowan::Windows
