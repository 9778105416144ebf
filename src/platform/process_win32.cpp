#include "platform/process.h"

#include <cstdio>

#include <windows.h>

#include "platform/handles_win32.h"
#include "platform/scoped_handle.h"

namespace Kyrowan::Windows {

namespace {

// Quotes one argument so that the child's command-line parser gives it back unchanged:
// backslashes are literal except before a quote, where they and the quote are escaped.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

}  // namespace

std::wstring QuoteCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  std::wstring line;
  AppendQuoted(line, program);
  for (const auto& argument : arguments) {
    line += L' ';
    AppendQuoted(line, argument);
  }
  return line;
}

bool RunProcess(const std::wstring& program, const std::vector<std::wstring>& arguments, std::uint32_t& status) {
  status = 0;
  if (program.empty()) return false;
  std::wstring commandLine = QuoteCommandLine(program, arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  // The child writes to the same standard streams, after what the tool printed.
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  std::fflush(stdout);
  std::fflush(stderr);
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started))
    return false;
  ScopedHandle<HANDLE> process(started.hProcess, HandleValidator(), HandleCloser());
  ScopedHandle<HANDLE> thread(started.hThread, HandleValidator(), HandleCloser());
  DWORD code = 0;
  if (::WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process.Get(), &code))
    return false;
  // A child's exit(-1) reads as 0xFFFFFFFF, the failure status itself.
  status = code;
  return true;
}

}  // namespace Kyrowan::Windows
