#include "bundle/bundle_command_line.h"

#include "bundle/bundle_commands.h"
#include "platform/build_identity.h"
#include "platform/console.h"
#include "platform/failure_causes.h"
#include "platform/run_summary.h"
#include "platform/text.h"
#include "protocol/server_protocol.h"

namespace Kyrowan::Bundle {

using namespace Windows;

namespace {

constexpr const wchar_t* kHelp[] = {
    L"Usage: kyrbundle fetch --out DIR NAME [--ver VERSION]",
    L"       kyrbundle install DIR [NAME [--ver VERSION]]",
    L"       kyrbundle list DIR",
    L"",
    L"Carries decryptors to a machine that is cut off from the network.",
    L"",
    L"fetch    on a connected machine: downloads decryptor NAME (the latest unless",
    L"         --ver is given) with its runtime, its libraries, its pip libraries and",
    L"         the identification index into the folder DIR, each package file only",
    L"         after it passed the checks of an install. Fetching into a bundle again",
    L"         adds to it.",
    L"install  on the isolated machine: installs decryptor NAME (every decryptor of",
    L"         the bundle when no name is given) from the folder DIR, checking every",
    L"         file against the signing key built into this program, exactly as -get",
    L"         does, without any network. Then kyrdecrypt -run NAME works there.",
    L"list     shows what the bundle holds and whether each file's signature checks.",
    L"",
    L"  --help      print this text",
    L"  --version   print the version, the server and the signing key this build trusts",
    L"",
    L"Exit status: 0 done, 1 something was refused or missing, 2 usage error.",
};

struct CommandLine {
  std::wstring command;
  std::wstring out;
  std::wstring version = kLatestVersionWide;
  std::vector<std::wstring> operands;
};

// False with `error` set for an option it does not know or one without its value.
bool Parse(const std::vector<std::wstring>& arguments, CommandLine& line, std::wstring& error) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    const bool takesValue = argument == L"--out" || argument == L"--ver";
    if (takesValue && i + 1 == arguments.size()) {
      error = argument + L" needs a value.";
    } else if (argument == L"--out") {
      line.out = arguments[++i];
    } else if (argument == L"--ver") {
      line.version = arguments[++i];
    } else if (argument.size() > 1 && argument[0] == L'-' && argument != L"--help" && argument != L"--version") {
      error = L"Unknown option " + argument + L".";
    } else if (line.command.empty()) {
      line.command = argument;
    } else {
      line.operands.push_back(argument);
    }
    if (!error.empty()) return false;
  }
  return true;
}

// Whether the operands and options fit the command; `error` says why not.
bool Fits(const CommandLine& line, std::wstring& error) {
  const std::size_t count = line.operands.size();
  const bool versioned = line.version != kLatestVersionWide;
  if (line.command == L"fetch" && (line.out.empty() || count != 1)) error = L"fetch needs --out DIR and one NAME.";
  else if (line.command == L"install" && (count < 1 || count > 2 || (versioned && count != 2)))
    error = L"install needs DIR, then NAME if --ver is given.";
  else if (line.command == L"list" && (count != 1 || versioned || !line.out.empty())) error = L"list needs DIR alone.";
  else if (line.command != L"fetch" && !line.out.empty()) error = L"--out belongs to fetch.";
  else if (line.command != L"fetch" && line.command != L"install" && line.command != L"list")
    error = line.command.empty() ? L"Name a command." : L"Unknown command " + line.command + L".";
  return error.empty();
}

int Dispatch(const CommandLine& line) {
  if (line.command == L"fetch") return FetchIntoBundle(line.out, line.operands[0], line.version);
  if (line.command == L"list") return ListBundle(line.operands[0]);
  return InstallFromBundle(line.operands[0], line.operands.size() > 1 ? line.operands[1] : L"", line.version);
}

std::wstring Joined(const std::vector<std::wstring>& arguments) {
  std::wstring text;
  for (const std::wstring& argument : arguments) text.append(text.empty() ? L"" : L" ").append(argument);
  return text;
}

}  // namespace

int RunBundle(const std::vector<std::wstring>& arguments) {
  for (const std::wstring& argument : arguments) {
    if (argument == L"--help" || argument == L"-h") {
      for (const wchar_t* text : kHelp) ConsoleLine(text);
      return kExitDone;
    }
    if (argument == L"--version") {
      ConsoleLine(FromUtf8(BuildIdentityText("kyrbundle")));
      return kExitDone;
    }
  }
  RunSummary run{L"kyrbundle", Joined(arguments), L"", false, DataRootLogPath()};
  CommandLine line;
  std::wstring error;
  int status = kExitUsage;
  if (Parse(arguments, line, error) && Fits(line, error)) {
    status = Dispatch(line);
    run.result = status == kExitDone ? L"done" : L"something was refused or missing";
  } else {
    ConsoleLine(error + L" Try kyrbundle --help.");
    run.result = error;
  }
  run.failed = status != kExitDone;
  ReportRun(run);
  return status;
}

}  // namespace Kyrowan::Bundle
