#include "app/command_processor.h"

#include <algorithm>
#include <array>

#include "app/package_manager.h"
#include "platform/console.h"
#include "platform/failure_causes.h"

namespace Kyrowan {

using namespace Kyrowan::Windows;

namespace {

constexpr const wchar_t* kBanner = L"KyrDecrypt - get, verify and run ransomware decryption tools";
constexpr const wchar_t* kCommandNotSupported =
    L"Command not supported. Try KyrDecrypt \"-help\" for supported commands";
constexpr const wchar_t* kRequestFailed = L"Requested operation failed.";
constexpr const wchar_t* kInvalidArguments = L"Invalid arguments. Try KyrDecrypt \"-help\" for details";

constexpr std::array<const wchar_t*, 28> kUsage = {
    L"Usage: KyrDecrypt <command> [arguments...]",
    L"Supported commands and their arguments are:",
    L"",
    L"KyrDecrypt -help",
    L"Show KyrDecrypt help text.",
    L"",
    L"KyrDecrypt -list",
    L"Show list of all decryption tools available.",
    L"",
    L"KyrDecrypt -get <name> [-ver version]",
    L"Download latest version of decryption tool (or specific version).",
    L"",
    L"KyrDecrypt -run <name> [-ver version] [-args \"arguments in double quotes\"]",
    L"Run latest downloaded decryption tool (or specific version) with given arguments (when needed)",
    L"Tool must be downloaded using \"-get\" command before running.",
    L"",
    L"KyrDecrypt -about <name> [-ver version]",
    L"Show help text of latest downloaded decryption tool (or specific version).",
    L"Tool must be downloaded using \"-get\" command before running.",
    L"",
    L"For example:",
    L"To download a ransomware decryption tool and run it:",
    L"1. Get list of all available tools: KyrDecrypt -list",
    L"2. Pick tool name and version from list. For example, stampado 1.0.0",
    L"3. Download stampado: KyrDecrypt -get stampado -ver 1.0.0",
    L"4. Get stampado help: KyrDecrypt -about stampado -ver 1.0.0",
    L"5. Run stampado: KyrDecrypt -run stampado -ver 1.0.0 -args \"-e restore@kyrowan.example\"",
    L"",
};

// Command words, option names and option values change only A-Z, whatever the
// locale: a word typed on any machine must reach the same command.
std::wstring LowerAscii(const std::wstring& text) {
  std::wstring out(text);
  for (wchar_t& c : out) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return out;
}

// The arguments as one text, each in double quotes: an empty or spaced one stays visible.
std::wstring JoinedArguments(const std::vector<std::wstring>& arguments) {
  if (arguments.empty()) return L"none given";
  std::wstring text;
  for (const std::wstring& argument : arguments)
    text.append(text.empty() ? L"\"" : L" \"").append(argument).append(L"\"");
  return text;
}

}  // namespace

bool CommandProcessor::RegisterCommands() {
  using std::placeholders::_1;
  commands[L"-help"] = std::bind(&CommandProcessor::CmdHelp, this, _1);
  commands[L"-list"] = std::bind(&CommandProcessor::CmdList, this, _1);
  commands[L"-get"] = std::bind(&CommandProcessor::CmdGet, this, _1);
  commands[L"-run"] = std::bind(&CommandProcessor::CmdRun, this, _1);
  commands[L"-about"] = std::bind(&CommandProcessor::CmdAbout, this, _1);
  packageManager = PackageManager::GetInstance();
  return packageManager != nullptr;
}

int CommandProcessor::Process(int argc, const wchar_t* const* argv) {
  ConsoleEndLine();
  ConsoleLine(kBanner);
  std::wstring command;
  std::vector<std::wstring> arguments;
  outcome = Outcome{};
  if (ParseCommandLine(argc, argv, command, arguments) == 0) {
    CmdHelp(arguments);
    return 0;
  }
  const auto entry = commands.find(command);
  if (entry == commands.end()) {
    ConsoleLine(kCommandNotSupported);
    RecordCause(L"there is no command \"" + command + L"\"");
    outcome = Outcome{kCommandNotSupported, true};
    return 0;
  }
  const CmdResult_e result = entry->second(arguments);
  if (result == CmdFailed) ConsoleLine(kRequestFailed);
  if (result == CmdInvalidArgs) {
    ConsoleLine(kInvalidArguments);
    RecordCause(L"invalid arguments for " + command + L": " + JoinedArguments(arguments));
  }
  // A handler that showed no result of its own is told by the dispatcher's text.
  if (result != CmdSucceeded && outcome.text.empty())
    outcome.text = result == CmdFailed ? kRequestFailed : kInvalidArguments;
  outcome.failed = result != CmdSucceeded;
  return static_cast<int>(result);
}

int CommandProcessor::ParseCommandLine(int argc, const wchar_t* const* argv, std::wstring& command,
                                       std::vector<std::wstring>& arguments) {
  if (argc < 2 || argv == nullptr) return 0;
  command.clear();
  arguments.clear();
  for (int index = 1; index < argc; ++index) {
    if (argv[index] == nullptr) continue;
    std::wstring argument(argv[index]);
    if (argument.empty()) continue;
    // Only argument 1 can be the command word: an empty one leaves none.
    if (index == 1) {
      command = LowerAscii(argument);
    } else {
      arguments.push_back(std::move(argument));
    }
  }
  return command.empty() ? 0 : 1;
}

int CommandProcessor::ParseOptions(const std::vector<std::wstring>& options,
                                   const std::vector<std::wstring>& allowed,
                                   std::map<std::wstring, std::wstring>& found,
                                   const std::vector<std::wstring>& keepCase) {
  found.clear();
  if (options.empty()) return 0;
  std::vector<std::wstring> names(allowed);
  std::sort(names.begin(), names.end());
  for (std::size_t i = 0; i < options.size(); i += 2) {
    const std::wstring name = LowerAscii(options[i]);
    // An unknown name takes the element after it along, whatever that is.
    if (!std::binary_search(names.begin(), names.end(), name)) continue;
    if (i + 1 == options.size()) {
      found[name].clear();
      break;
    }
    const bool asTyped = std::find(keepCase.begin(), keepCase.end(), name) != keepCase.end();
    found[name] = asTyped ? options[i + 1] : LowerAscii(options[i + 1]);
  }
  return found.empty() ? 0 : 1;
}

CmdResult_e CommandProcessor::CmdHelp(std::vector<std::wstring>& /*arguments*/) {
  ConsoleEndLine();
  for (const wchar_t* line : kUsage) ConsoleLine(line);
  return CmdSucceeded;
}

}  // namespace Kyrowan
