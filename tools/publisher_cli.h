#pragma once

#include <CLI/CLI.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace Kyrowan::PublisherCli {

/// Exit code of a command line the tool cannot take.
inline constexpr int kExitUsage = 2;

/// Reads `args` (without the program name) into `app`. False when the run ends here:
/// help or version asked for (`code` 0, text in `out`) or a bad command line (`code` 2,
/// the message naming the option in `err`, without a final newline).
inline bool Parse(CLI::App& app, const std::vector<std::string>& args, std::string& out, std::string& err, int& code) {
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
  try {
    app.parse(reversed);
    return true;
  } catch (const CLI::ParseError& error) {
    std::ostringstream outText, errText;
    code = app.exit(error, outText, errText) == 0 ? 0 : kExitUsage;
    out = outText.str();
    err = errText.str();
    while (!err.empty() && err.back() == '\n') err.pop_back();
    return false;
  }
}

}  // namespace Kyrowan::PublisherCli
