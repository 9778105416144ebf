#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Kyrowan {

class PackageManager;

/// Result of a command handler; the dispatcher prints a text for 0 and 2.
enum CmdResult_e : std::int32_t {
  CmdFailed = 0,
  CmdSucceeded = 1,
  CmdInvalidArgs = 2,
};

/// The front end: holds the command table, parses the command line and runs one command.
class CommandProcessor {
 public:
  /// A command handler: takes the arguments after the command word.
  using Handler = std::function<CmdResult_e(std::vector<std::wstring>&)>;

  /// Fills the command table, then obtains the package manager; true if one was obtained.
  bool RegisterCommands();
  /// Prints the banner, parses the command line, runs one command and prints its result text.
  int Process(int argc, const wchar_t* const* argv);

  /// How the last command ended: the result text it showed, and whether it failed.
  struct Outcome {
    std::wstring text;
    bool failed = false;
  };
  const Outcome& LastOutcome() const { return outcome; }

  /// The lowered command word (argument 1) and the later non-empty arguments;
  /// non-zero if there is a command word.
  static int ParseCommandLine(int argc, const wchar_t* const* argv, std::wstring& command,
                              std::vector<std::wstring>& arguments);
  /// Reads name/value pairs of allowed options, both lowered except the values of
  /// the names in `keepCase`, which stay as typed; 1 if any was found.
  static int ParseOptions(const std::vector<std::wstring>& options, const std::vector<std::wstring>& allowed,
                          std::map<std::wstring, std::wstring>& found,
                          const std::vector<std::wstring>& keepCase = {});

  /// "-help": prints the usage text whatever the arguments.
  CmdResult_e CmdHelp(std::vector<std::wstring>& arguments);
  /// "-list": shows the decryptors on the server, marking those present here.
  CmdResult_e CmdList(std::vector<std::wstring>& arguments);
  /// "-get": downloads a decryptor with its dependencies.
  CmdResult_e CmdGet(std::vector<std::wstring>& arguments);
  /// "-run": runs a downloaded decryptor with the user's arguments.
  CmdResult_e CmdRun(std::vector<std::wstring>& arguments);
  /// "-about": shows a downloaded decryptor's own help.
  CmdResult_e CmdAbout(std::vector<std::wstring>& arguments);

 private:
  std::map<std::wstring, Handler> commands;
  Outcome outcome;
  /// Not owned: the process-wide manager, set by RegisterCommands.
  PackageManager* packageManager = nullptr;
};

}  // namespace Kyrowan
